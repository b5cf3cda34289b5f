#include "imagefiles/decoded_image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "workspace/error.h"

namespace talvenor {

void DecodedImage::Allocate(int width, int height, int channels) {
    Width = width;
    Height = height;
    Channels = channels;
    Samples.assign(std::size_t(width) * std::size_t(height) * std::size_t(channels), 0);
}

void CheckDecodedSize(std::string_view name, uint64_t width, uint64_t height) {
    if (width == 0 || height == 0)
        throw Error(std::string(name) + ": the picture has no pixels (" + std::to_string(width) + " x " +
                    std::to_string(height) + ")");
    if (width > kMaxDecodedPixels || height > kMaxDecodedPixels || width * height > kMaxDecodedPixels)
        throw Error(std::string(name) + ": a " + std::to_string(width) + " x " + std::to_string(height) +
                    " picture is too large to read (at most " + std::to_string(kMaxDecodedPixels / 1000000) +
                    " million pixels)");
}

uint16_t IntegerTo16(int64_t value, int bits, bool isSigned) {
    bits = std::clamp(bits, 1, 32);
    uint64_t u = isSigned ? uint64_t(value + (int64_t(1) << (bits - 1))) : uint64_t(value);
    u &= (bits == 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1);
    if (bits <= 8) {
        const uint64_t top = (uint64_t(1) << bits) - 1;
        const uint64_t level = bits == 8 ? u : (u * 255 + top / 2) / top;
        return uint16_t(level << 8);
    }
    if (bits <= 16) return uint16_t(u << (16 - bits));
    return uint16_t(u >> (bits - 16));
}

namespace {

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

}  // namespace

void FloatsTo16(std::span<const double> values, std::span<uint16_t> out, DecodedImage& image) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (double v : values)
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    if (!(lo <= hi)) lo = hi = 0;  // nothing finite: a black picture, said below
    // Data within 0..1 is full scale; data within the 16-bit range is a camera's levels (a
    // calibrated series in ADU) and keeps them, so every frame of a series has the same scale.
    const bool unit = lo >= 0 && hi <= 1;
    const bool levels = !unit && lo >= 0 && hi <= 65535;
    const double base = unit || levels ? 0.0 : lo;
    const double span = unit ? 1.0 : levels ? 65535.0 : hi - lo;
    const double scale = span > 0 ? 65535.0 / span : 0.0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double v = std::isfinite(values[i]) ? values[i] : base;
        out[i] = uint16_t(std::clamp(std::nearbyint((v - base) * scale), 0.0, 65535.0));
    }
    if (levels)
        image.Notes.push_back("floating-point data " + Number(lo) + " .. " + Number(hi) + " taken as 16-bit levels");
    else if (!unit)
        image.Notes.push_back("floating-point data " + Number(lo) + " .. " + Number(hi) + " stretched to full scale");
}

void ToWideBitmap(const DecodedImage& image, TTIFFBitMap& bitmap) {
    if (!(bitmap.HasWide && bitmap.Width() == image.Width && bitmap.Height() == image.Height &&
          bitmap.Picture.Width() == image.Width && bitmap.Picture.Height() == image.Height))
        bitmap.CreateWide(image.Width, image.Height);
    const bool grey = image.Channels == 1;
    for (int y = 0; y < image.Height; ++y) {
        uint8_t* wide = bitmap.WideRows[std::size_t(y)];
        uint8_t* disp = bitmap.Picture.Row(y);
        const uint16_t* src = image.Samples.data() + std::size_t(y) * std::size_t(image.Width) * std::size_t(image.Channels);
        for (int x = 0; x < image.Width; ++x) {
            const uint16_t r = src[0], g = grey ? r : src[1], b = grey ? r : src[2];
            src += image.Channels;
            wide[0] = uint8_t(r);
            wide[1] = uint8_t(r >> 8);
            wide[2] = uint8_t(g);
            wide[3] = uint8_t(g >> 8);
            wide[4] = uint8_t(b);
            wide[5] = uint8_t(b >> 8);
            wide += 6;
            disp[0] = uint8_t(b >> 8);
            disp[1] = uint8_t(g >> 8);
            disp[2] = uint8_t(r >> 8);
            disp += 3;
        }
    }
    bitmap.BitsPerPixel = 48;
    bitmap.Picture.Touch();
}

std::string DescribeDecoding(const DecodedImage& image) {
    std::string text = "read by " + image.Reader;
    for (std::size_t i = 0; i < image.Notes.size(); ++i) text += (i == 0 ? " (" : "; ") + image.Notes[i];
    if (!image.Notes.empty()) text += ")";
    return text;
}

}  // namespace talvenor
