#pragma once
// The 16-bit-per-channel result image together with its 24-bit display picture. The
// workspace owns one (`StackTiff`): the TIFF reader loads TIF frames into it, the stacker
// and the later stages keep their 16-bit results in its wide image, the savers write it.
// The file format code (directory, LZW, reading and writing) lives with the image files.
#include <cstdint>
#include <vector>

#include "workspace/bitmap24.h"

namespace talvenor {

class TTIFFBitMap {
public:
    // What the pages show and what the 8-bit savers use.
    Bitmap24 Picture;
    // 48 for the wide image; after a read, the file's bits per pixel.
    int BitsPerPixel = 48;
    // The wide image: Height rows of 6 x Width bytes, pixels of three little-endian
    // 16-bit samples red, green, blue.
    LargeBytes Wide;
    std::vector<uint8_t*> WideRows;
    bool HasWide = false;

    // Allocates a zero-filled wide image and display picture of this size.
    void CreateWide(int width, int height);
    void FreeWide();
    int Width() const { return wideWidth_; }
    int Height() const { return wideHeight_; }

    uint16_t Sample(int x, int y, int channel) const {
        const uint8_t* p = WideRows[std::size_t(y)] + 6 * x + 2 * channel;
        return uint16_t(p[0] | (p[1] << 8));
    }
    void SetSample(int x, int y, int channel, uint16_t v) {
        uint8_t* p = WideRows[std::size_t(y)] + 6 * x + 2 * channel;
        p[0] = uint8_t(v & 0xFF);
        p[1] = uint8_t(v >> 8);
    }

private:
    int wideWidth_ = 0, wideHeight_ = 0;
};

}  // namespace talvenor
