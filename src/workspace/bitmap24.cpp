#include "workspace/bitmap24.h"

#include <algorithm>

namespace talvenor {

void Bitmap24::SetSize(int width, int height) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    data_.assign(std::size_t(width_) * height_ * 3, 0);
    Touch();
}

void Bitmap24::Fill(Bgr c) {
    for (std::size_t i = 0; i + 2 < data_.size(); i += 3) {
        data_[i] = c.b; data_[i + 1] = c.g; data_[i + 2] = c.r;
    }
    Touch();
}

}  // namespace talvenor
