#pragma once
// Image series for synthetic captures: one file per frame, named capture_00001.ext ..
// (frame 0 is capture_00001; the numbers are zero-padded to at least five digits, so name
// order is frame order). BMP and JPEG go through the program's own encoders; 16-bit FITS
// and 16/48-bit TIFF have small writers here, because the program's FITS and TIFF writers
// save the workspace's pictures, not arbitrary frames. These are test-data writers: plain,
// uncompressed, one strip.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "capture/frames.h"
#include "workspace/bitmap24.h"

namespace talvenor::capture {

enum class SeriesFormat { Bmp, Jpeg, Fits, Tiff };

std::string SeriesExtension(SeriesFormat format);  // "bmp", "jpg", "fit", "tif"

// dir / capture_<index + 1>.<ext>, the number padded to max(5, digits of `frames`).
std::filesystem::path SeriesFramePath(const std::filesystem::path& dir, int index, int frames, SeriesFormat format);

// FITS, BITPIX 16 with BZERO 32768 (so 0..65535 is stored exactly), rows of `grey` given
// top first and stored bottom row first, as FITS counts rows upwards.
std::vector<uint8_t> EncodeFits16(int width, int height, std::span<const uint16_t> grey);

// Little-endian uncompressed TIFF, 16 bits per sample: one sample per pixel (grey, black
// is zero) or three (RGB, 48 bits per pixel). `samples` are interleaved, top row first.
std::vector<uint8_t> EncodeTiff16(int width, int height, int channels, std::span<const uint16_t> samples);

// Writes the bytes as the whole file (no temporary, no sync: generated data can simply be
// generated again). Throws Error naming the file on failure.
void WriteWholeFile(const std::filesystem::path& file, std::span<const uint8_t> bytes);

class SeriesWriter {
public:
    // Creates `dir` when missing. `frames` only sets the width of the numbers.
    SeriesWriter(std::filesystem::path dir, SeriesFormat format, int frames);

    // Quantises the frame for the format (FITS takes the luminance of a colour frame; TIFF
    // keeps colour as 48 bits) and writes it. Returns the file written and its size.
    std::filesystem::path Write(int index, const FloatImage& frame, uint64_t* bytes = nullptr);

private:
    std::filesystem::path dir_;
    SeriesFormat format_;
    int frames_;
    Bitmap24 picture_;
    std::vector<uint16_t> words_;
};

}  // namespace talvenor::capture
