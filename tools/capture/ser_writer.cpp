#include "capture/ser_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "input/debayer.h"
#include "capture/stream_file.h"
#include "workspace/error.h"

namespace talvenor::capture {

namespace {

constexpr std::size_t kFileBuffer = std::size_t(1) << 20;
constexpr long kFrameCountAt = 38;

void Put32(uint8_t* p, int32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = uint8_t(uint32_t(v) >> (8 * k));
}

void Put64(uint8_t* p, int64_t v) {
    for (int k = 0; k < 8; ++k) p[k] = uint8_t(uint64_t(v) >> (8 * k));
}

// A text field: NUL-padded, cut to its 40 bytes.
void PutText(uint8_t* p, const std::string& text) {
    std::memcpy(p, text.data(), std::min<std::size_t>(text.size(), 40));
}

BayerPattern PatternOf(SerColour c) {
    switch (c) {
        case SerColour::BayerGrbg: return BayerPattern::Grbg;
        case SerColour::BayerGbrg: return BayerPattern::Gbrg;
        case SerColour::BayerBggr: return BayerPattern::Bggr;
        default: return BayerPattern::Rggb;
    }
}

}  // namespace

int32_t SerColorId(SerColour colour) {
    switch (colour) {
        case SerColour::Mono: return 0;
        case SerColour::BayerRggb: return 8;
        case SerColour::BayerGrbg: return 9;
        case SerColour::BayerGbrg: return 10;
        case SerColour::BayerBggr: return 11;
        case SerColour::Rgb: return 100;
        case SerColour::Bgr: return 101;
    }
    return 0;
}

void SerFrameSamples(const FloatImage& frame, SerColour colour, int depth, std::vector<uint16_t>& out) {
    if (depth != 8 && depth != 16) throw Error("SER frames are quantised to 8 or 16 bits, not " + std::to_string(depth));
    const int w = frame.width, h = frame.height;
    const std::size_t n = std::size_t(w) * std::size_t(h);
    if (colour == SerColour::Mono) {
        if (depth == 8) {
            std::vector<uint8_t> grey;
            ToGrey8(frame, grey);
            out.assign(grey.begin(), grey.end());
        } else {
            ToWords(frame, true, out);
        }
        return;
    }
    // Interleaved red, green, blue per pixel, at the depth asked for.
    std::vector<uint16_t> rgb;
    if (depth == 8) {
        Bitmap24 picture;
        ToBitmap24(frame, picture);
        rgb.resize(3 * n);
        for (int y = 0; y < h; ++y) {
            const uint8_t* row = picture.Row(y);
            uint16_t* dst = rgb.data() + 3 * std::size_t(y) * std::size_t(w);
            for (int x = 0; x < w; ++x) {
                dst[3 * x] = row[3 * x + 2];
                dst[3 * x + 1] = row[3 * x + 1];
                dst[3 * x + 2] = row[3 * x];
            }
        }
    } else {
        ToWords(frame, false, rgb);
    }
    if (colour == SerColour::Rgb) {
        out = std::move(rgb);
    } else if (colour == SerColour::Bgr) {
        for (std::size_t i = 0; i < n; ++i) std::swap(rgb[3 * i], rgb[3 * i + 2]);
        out = std::move(rgb);
    } else {
        const BayerPattern pattern = PatternOf(colour);
        // The pattern repeats every two pixels: look each of the four cells up once.
        const int cell[4] = {BayerChannelAt(pattern, 0, 0), BayerChannelAt(pattern, 1, 0),
                             BayerChannelAt(pattern, 0, 1), BayerChannelAt(pattern, 1, 1)};
        out.resize(n);
        for (int y = 0; y < h; ++y) {
            const uint16_t* src = rgb.data() + 3 * std::size_t(y) * std::size_t(w);
            uint16_t* dst = out.data() + std::size_t(y) * std::size_t(w);
            const int* c = cell + 2 * (y & 1);
            for (int x = 0; x < w; ++x) dst[x] = src[3 * x + c[x & 1]];
        }
    }
}

SerWriter::SerWriter(const std::filesystem::path& path, const SerWriterOptions& options) : path_(path), opt_(options) {
    if (opt_.width < 1 || opt_.height < 1 || opt_.width > 65535 || opt_.height > 65535)
        throw Error(path_.string() + ": cannot write a SER video of " + std::to_string(opt_.width) + " x " +
                    std::to_string(opt_.height) + " pixels");
    if (opt_.depth < 1 || opt_.depth > 16)
        throw Error(path_.string() + ": a SER sample has 1 to 16 bits, not " + std::to_string(opt_.depth));
    file_ = std::fopen(path_.string().c_str(), "wb");
    if (!file_) throw Error(path_.string() + ": cannot create (" + std::strerror(errno) + ")");
    std::setvbuf(file_, nullptr, _IOFBF, kFileBuffer);

    uint8_t header[kSerHeaderSize] = {};
    std::memcpy(header, "LUCAM-RECORDER", 14);
    Put32(header + 14, 0);  // LuID: no particular camera
    Put32(header + 18, SerColorId(opt_.colour));
    // Samples are little-endian and the flag says so as the format documents it (non-zero).
    Put32(header + 22, 1);
    Put32(header + 26, opt_.width);
    Put32(header + 30, opt_.height);
    Put32(header + 34, opt_.depth);
    Put32(header + kFrameCountAt, 0);  // patched by Close
    PutText(header + 42, opt_.observer);
    PutText(header + 82, opt_.instrument);
    PutText(header + 122, opt_.telescope);
    Put64(header + 162, opt_.dateTime);
    Put64(header + 170, opt_.dateTimeUtc);
    Put(header, sizeof header);
}

SerWriter::~SerWriter() {
    if (!file_) return;
    if (!closed_) {
        try {
            Close();
        } catch (...) {
        }
    }
    if (file_) std::fclose(file_);
}

void SerWriter::Fail(const char* what) {
    throw Error(path_.string() + ": " + what + " (" + std::strerror(errno) + ")");
}

void SerWriter::Put(const void* data, std::size_t n) {
    if (n && std::fwrite(data, 1, n, file_) != n) Fail("write failed");
}

void SerWriter::AddSamples(std::span<const uint16_t> samples, int64_t timestamp) {
    if (closed_) throw Error(path_.string() + ": frame added after the file was closed");
    if (samples.size() != SamplesPerFrame())
        throw Error(path_.string() + ": frame of " + std::to_string(samples.size()) + " samples, expected " +
                    std::to_string(SamplesPerFrame()));
    if (timestamps_.size() >= 0x7FFFFFFFu) throw Error(path_.string() + ": too many frames for a SER header");
    if (opt_.depth <= 8) {
        bytes_.resize(samples.size());
        for (std::size_t k = 0; k < samples.size(); ++k) bytes_[k] = uint8_t(samples[k]);
    } else {
        bytes_.resize(2 * samples.size());
        for (std::size_t k = 0; k < samples.size(); ++k) {
            bytes_[2 * k] = uint8_t(samples[k]);
            bytes_[2 * k + 1] = uint8_t(samples[k] >> 8);
        }
    }
    Put(bytes_.data(), bytes_.size());
    timestamps_.push_back(timestamp);
}

void SerWriter::AddFrame(const FloatImage& frame, int64_t timestamp) {
    if (frame.width != opt_.width || frame.height != opt_.height)
        throw Error(path_.string() + ": frame of " + std::to_string(frame.width) + " x " + std::to_string(frame.height) +
                    " pixels in a " + std::to_string(opt_.width) + " x " + std::to_string(opt_.height) + " video");
    SerFrameSamples(frame, opt_.colour, opt_.depth, samples_);
    AddSamples(samples_, timestamp);
}

void SerWriter::Close() {
    if (closed_) return;
    closed_ = true;
    std::vector<uint8_t> trailer(8 * timestamps_.size());
    for (std::size_t k = 0; k < timestamps_.size(); ++k) Put64(trailer.data() + 8 * k, timestamps_[k]);
    Put(trailer.data(), trailer.size());
    uint8_t count[4];
    Put32(count, int32_t(timestamps_.size()));
    if (std::fseek(file_, kFrameCountAt, SEEK_SET) != 0 || std::fwrite(count, 1, 4, file_) != 4) Fail("write failed");
    if (!FinishStreamFile(file_)) Fail("write failed");
}

void SerWriter::Discard() {
    closed_ = true;
    DiscardStreamFile(file_, path_);
}

}  // namespace talvenor::capture
