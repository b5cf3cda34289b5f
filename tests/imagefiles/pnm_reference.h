#pragma once
// Reads the PGM/PPM files other programs (djpeg, ImageMagick, tiffcp, astropy scripts) write
// as references for the image-file tests, and runs such a program to get one from a pipe.
// Binary P5 (grey) and P6 (colour), maxval up to 65535 (two bytes per sample, big-endian,
// above 255), comments allowed in the header. Failures are test failures, not exceptions
// the reader under test could swallow: they throw std::runtime_error with the reason.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/external_tools.h"
#include "workspace/bitmap24.h"

namespace talvenor::testing {

struct PnmImage {
    int width = 0, height = 0;
    int channels = 0;  // 1 grey, 3 red-green-blue
    int maxval = 0;
    std::vector<uint16_t> samples;  // row by row, channels interleaved

    uint16_t At(int x, int y, int channel = 0) const {
        return samples[(std::size_t(y) * width + x) * channels + channel];
    }
    // A sample as an 8-bit level: as it is for maxval 255, the high byte for maxval 65535,
    // the nearest level for any other maxval.
    uint8_t Level(uint16_t v) const {
        if (maxval == 255) return uint8_t(v);
        if (maxval == 65535) return uint8_t(v >> 8);
        return uint8_t((uint32_t(v) * 255 + uint32_t(maxval) / 2) / uint32_t(maxval));
    }
    // As the program holds pictures: blue, green, red; grey repeated in all three.
    Bitmap24 ToBitmap24() const {
        Bitmap24 out(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t r = Level(At(x, y, 0));
                const uint8_t g = Level(At(x, y, channels == 3 ? 1 : 0));
                const uint8_t b = Level(At(x, y, channels == 3 ? 2 : 0));
                out.SetPixel(x, y, Bgr{b, g, r});
            }
        return out;
    }
};

inline PnmImage ParsePnm(const std::vector<uint8_t>& bytes, const std::string& what) {
    std::size_t pos = 0;
    auto fail = [&](const std::string& why) -> void { throw std::runtime_error(what + ": " + why); };
    auto skipBlanks = [&] {
        while (pos < bytes.size()) {
            if (bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            } else if (bytes[pos] == ' ' || bytes[pos] == '\t' || bytes[pos] == '\r' || bytes[pos] == '\n') {
                ++pos;
            } else {
                break;
            }
        }
    };
    auto number = [&] {
        skipBlanks();
        long v = 0;
        const std::size_t start = pos;
        while (pos < bytes.size() && bytes[pos] >= '0' && bytes[pos] <= '9' && v < 1000000) v = v * 10 + (bytes[pos++] - '0');
        if (pos == start) fail("bad PNM header");
        return int(v);
    };
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6')) fail("not a binary PGM/PPM");
    PnmImage img;
    img.channels = bytes[1] == '6' ? 3 : 1;
    pos = 2;
    img.width = number();
    img.height = number();
    img.maxval = number();
    if (img.width <= 0 || img.height <= 0 || img.maxval <= 0 || img.maxval > 65535) fail("bad PNM header values");
    ++pos;  // the single blank after maxval
    const std::size_t count = std::size_t(img.width) * img.height * img.channels;
    const std::size_t bytesPerSample = img.maxval > 255 ? 2 : 1;
    if (bytes.size() < pos + count * bytesPerSample) fail("PNM pixel data ends early");
    img.samples.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        img.samples[i] = bytesPerSample == 1 ? bytes[pos + i]
                                             : uint16_t(bytes[pos + 2 * i] << 8 | bytes[pos + 2 * i + 1]);
    return img;
}

inline PnmImage ReadPnm(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(file.string() + ": cannot open");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParsePnm(bytes, file.string());
}

// Same size and every pixel equal; otherwise the first pixel that differs.
inline ::testing::AssertionResult SamePixels(const Bitmap24& got, const Bitmap24& want) {
    if (got.Width() != want.Width() || got.Height() != want.Height())
        return ::testing::AssertionFailure() << "size " << got.Width() << "x" << got.Height() << ", expected "
                                             << want.Width() << "x" << want.Height();
    for (int y = 0; y < want.Height(); ++y)
        for (int x = 0; x < want.Width(); ++x)
            if (!(got.Pixel(x, y) == want.Pixel(x, y)))
                return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << std::hex
                                                     << RgbOf(got.Pixel(x, y)) << ", expected " << RgbOf(want.Pixel(x, y));
    return ::testing::AssertionSuccess();
}

// The standard output of a shell command (with its exit status); used to read what another
// program decodes, e.g. "djpeg -pnm 'x.jpg'" or "/usr/bin/convert 'x.bmp' ppm:-".
struct CommandOutput {
    int status = -1;
    std::vector<uint8_t> bytes;
};

inline CommandOutput RunCommand(const std::string& command) {
    CommandOutput out;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    uint8_t buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.bytes.insert(out.bytes.end(), buffer, buffer + got);
    out.status = ::pclose(pipe);
    return out;
}

// Single quotes for a path on a shell command line.
inline std::string ShellQuoted(const std::filesystem::path& path) {
    std::string out = "'";
    for (char c : path.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace talvenor::testing
