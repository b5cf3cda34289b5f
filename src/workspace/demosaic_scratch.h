#pragma once
// The working buffers of demosaicing, kept by whoever demosaics frame after frame (a video, a
// raw colour series): fresh buffers of a frame's size for every frame were most of such a
// pass, in zeroing and page faults.
#include <cstdint>
#include <vector>

namespace talvenor {

struct DebayerScratch {
    std::vector<uint16_t> Padded, Green;  // the mirrored mosaic and the interpolated green
    std::vector<uint16_t> Mosaic, Rgb;    // samples in and out
};

}  // namespace talvenor
