#include "workspace/single2d_array.h"

#include <algorithm>
#include <new>
#include <string>

#include "workspace/error.h"

namespace talvenor {

void Single2dArray::Create(int width, int height) {
    if (width < 0 || height < 0) throw Error("Invalid plane size " + std::to_string(width) + " x " + std::to_string(height));
    data_.reset();
    width_ = width;
    height_ = height;
    stride_ = width + kMargin;
    rows_ = height + kMargin;
    // Zeroed: the wavelet filters and the stack read the margin rows and columns that no frame
    // fills, and stale memory there could hold anything, NaN included.
    data_ = ZeroedArray<float>(std::size_t(stride_) * rows_);
}

void Single2dArray::Destroy() {
    data_.reset();
    width_ = height_ = stride_ = rows_ = 0;
}

void Single2dArray::Fill(float value) { std::fill_n(data_.get(), ElementCount(), value); }

}  // namespace talvenor
