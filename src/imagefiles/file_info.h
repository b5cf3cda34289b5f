#pragma once
// What `talvenor-cli info` reports of a file: its format, size and depth, and the details
// that matter for that format (FITS BITPIX/BZERO/NAXIS, TIFF compression/predictor/byte
// order, BMP compression, ...), in the order they should be printed.
#include <string>
#include <utility>
#include <vector>

namespace talvenor {

struct FileInfo {
    std::string Format;  // "BMP", "JPEG", "FITS", "TIFF", "AVI"
    int Width = 0;
    int Height = 0;
    int Bits = 0;        // bits per pixel as stored in the file
    std::vector<std::pair<std::string, std::string>> Details;
};

}  // namespace talvenor
