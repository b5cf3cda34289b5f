#pragma once
// The 16-bit samples of a TIFF the program wrote, row by row, red, green and blue of each pixel:
// what tests compare when two routes must give the same result to the last level.
#include <cstdint>
#include <filesystem>
#include <vector>

#include "imagefiles/tiff_file.h"

namespace talvenor::testing {

inline std::vector<uint16_t> TiffSamples(const std::filesystem::path& file) {
    TTIFFBitMap image;
    LoadFromFile(image, file);
    std::vector<uint16_t> v;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            for (int c = 0; c < 3; ++c) v.push_back(image.Sample(x, y, c));
    return v;
}

}  // namespace talvenor::testing
