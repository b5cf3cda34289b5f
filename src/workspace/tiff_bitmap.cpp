#include "workspace/tiff_bitmap.h"

namespace talvenor {

void TTIFFBitMap::CreateWide(int width, int height) {
    wideWidth_ = width > 0 ? width : 0;
    wideHeight_ = height > 0 ? height : 0;
    const std::size_t rowBytes = std::size_t(wideWidth_) * 6;
    AssignZeros(Wide, rowBytes * wideHeight_);
    WideRows.resize(std::size_t(wideHeight_));
    for (int y = 0; y < wideHeight_; ++y) WideRows[std::size_t(y)] = Wide.data() + rowBytes * y;
    HasWide = true;
    BitsPerPixel = 48;
    Picture.SetSize(wideWidth_, wideHeight_);
}

void TTIFFBitMap::FreeWide() {
    Wide.clear();
    Wide.shrink_to_fit();
    WideRows.clear();
    HasWide = false;
    wideWidth_ = wideHeight_ = 0;
}

}  // namespace talvenor
