#include "capture/series_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "imagefiles/bmp_file.h"
#include "imagefiles/jpeg_file.h"
#include "workspace/error.h"

namespace talvenor::capture {

namespace {

void Card(std::string& header, const std::string& key, const std::string& value) {
    std::string card = key;
    card.resize(8, ' ');
    card += "= ";
    if (value.size() < 20) card += std::string(20 - value.size(), ' ');
    card += value;
    card.resize(80, ' ');
    header += card;
}

void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

void Entry(std::vector<uint8_t>& b, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    Put16(b, tag);
    Put16(b, type);
    Put32(b, count);
    if (type == 3 && count == 1) {  // a SHORT sits in the first two bytes of the field
        Put16(b, uint16_t(value));
        Put16(b, 0);
    } else {
        Put32(b, value);
    }
}

}  // namespace

std::string SeriesExtension(SeriesFormat format) {
    switch (format) {
        case SeriesFormat::Bmp: return "bmp";
        case SeriesFormat::Jpeg: return "jpg";
        case SeriesFormat::Fits: return "fit";
        case SeriesFormat::Tiff: return "tif";
    }
    return "bmp";
}

std::filesystem::path SeriesFramePath(const std::filesystem::path& dir, int index, int frames, SeriesFormat format) {
    const std::string digits = std::to_string(std::max(frames, 1));
    const std::size_t width = std::max<std::size_t>(5, digits.size());
    std::string number = std::to_string(index + 1);
    if (number.size() < width) number.insert(0, width - number.size(), '0');
    return dir / ("capture_" + number + "." + SeriesExtension(format));
}

std::vector<uint8_t> EncodeFits16(int width, int height, std::span<const uint16_t> grey) {
    std::string header;
    Card(header, "SIMPLE", "T");
    Card(header, "BITPIX", "16");
    Card(header, "NAXIS", "2");
    Card(header, "NAXIS1", std::to_string(width));
    Card(header, "NAXIS2", std::to_string(height));
    Card(header, "BZERO", "32768");
    Card(header, "BSCALE", "1");
    std::string end = "END";
    end.resize(80, ' ');
    header += end;
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');

    const std::size_t samples = std::size_t(width) * std::size_t(height);
    const std::size_t data = (2 * samples + 2879) / 2880 * 2880;
    std::vector<uint8_t> out(header.size() + data, 0);
    std::memcpy(out.data(), header.data(), header.size());
    uint8_t* p = out.data() + header.size();
    for (int k = 0; k < height; ++k) {
        const uint16_t* row = grey.data() + std::size_t(height - 1 - k) * std::size_t(width);
        for (int x = 0; x < width; ++x) {
            const uint16_t stored = uint16_t(row[x] ^ 0x8000u);  // value - 32768 as two's complement
            *p++ = uint8_t(stored >> 8);
            *p++ = uint8_t(stored);
        }
    }
    return out;
}

std::vector<uint8_t> EncodeTiff16(int width, int height, int channels, std::span<const uint16_t> samples) {
    const bool rgb = channels == 3;
    const uint16_t entries = 10;
    const uint32_t ifdBytes = 2 + 12u * entries + 4;
    const uint32_t bitsAt = 8 + ifdBytes;                 // three SHORTs for RGB
    const uint32_t dataAt = bitsAt + (rgb ? 8 : 0);
    const uint32_t dataBytes = uint32_t(samples.size() * 2);

    std::vector<uint8_t> b;
    b.reserve(dataAt + dataBytes);
    b.push_back('I');
    b.push_back('I');
    Put16(b, 42);
    Put32(b, 8);
    Put16(b, entries);
    Entry(b, 256, 4, 1, uint32_t(width));
    Entry(b, 257, 4, 1, uint32_t(height));
    if (rgb)
        Entry(b, 258, 3, 3, bitsAt);
    else
        Entry(b, 258, 3, 1, 16);
    Entry(b, 259, 3, 1, 1);              // no compression
    Entry(b, 262, 3, 1, rgb ? 2 : 1);    // RGB or BlackIsZero
    Entry(b, 273, 4, 1, dataAt);         // one strip
    Entry(b, 277, 3, 1, uint32_t(channels));
    Entry(b, 278, 4, 1, uint32_t(height));
    Entry(b, 279, 4, 1, dataBytes);
    Entry(b, 284, 3, 1, 1);              // interleaved
    Put32(b, 0);                         // no further directory
    if (rgb) {
        for (int i = 0; i < 3; ++i) Put16(b, 16);
        Put16(b, 0);
    }
    const std::size_t at = b.size();
    b.resize(at + dataBytes);
    uint8_t* p = b.data() + at;
    for (uint16_t v : samples) {
        *p++ = uint8_t(v);
        *p++ = uint8_t(v >> 8);
    }
    return b;
}

void WriteWholeFile(const std::filesystem::path& file, std::span<const uint8_t> bytes) {
    std::FILE* f = std::fopen(file.string().c_str(), "wb");
    if (!f) throw Error(file.string() + ": cannot create (" + std::strerror(errno) + ")");
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int err = errno;
    if (std::fclose(f) != 0 || !written)
        throw Error(file.string() + ": write failed (" + std::strerror(written ? errno : err) + ")");
}

SeriesWriter::SeriesWriter(std::filesystem::path dir, SeriesFormat format, int frames)
    : dir_(std::move(dir)), format_(format), frames_(frames) {
    std::error_code ec;
    std::filesystem::create_directories(dir_, ec);
    if (ec) throw Error(dir_.string() + ": cannot create the directory (" + ec.message() + ")");
}

std::filesystem::path SeriesWriter::Write(int index, const FloatImage& frame, uint64_t* bytes) {
    const std::filesystem::path file = SeriesFramePath(dir_, index, frames_, format_);
    std::vector<uint8_t> encoded;
    switch (format_) {
        case SeriesFormat::Bmp:
            ToBitmap24(frame, picture_);
            encoded = EncodeBmp24(picture_, file.string());
            break;
        case SeriesFormat::Jpeg:
            ToBitmap24(frame, picture_);
            encoded = EncodeJpeg(picture_, file.string());
            break;
        case SeriesFormat::Fits:
            ToWords(frame, true, words_);
            encoded = EncodeFits16(frame.width, frame.height, words_);
            break;
        case SeriesFormat::Tiff: {
            const bool grey = frame.channels == 1;
            ToWords(frame, grey, words_);
            encoded = EncodeTiff16(frame.width, frame.height, grey ? 1 : 3, words_);
            break;
        }
    }
    WriteWholeFile(file, encoded);
    if (bytes) *bytes = encoded.size();
    return file;
}

}  // namespace talvenor::capture
