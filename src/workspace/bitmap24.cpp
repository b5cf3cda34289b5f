#include "workspace/bitmap24.h"

#include <algorithm>

#include "workspace/bgr_bytes.h"

namespace talvenor {

void Bitmap24::SetSize(int width, int height) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    greyHeld_ = false;
    unspread_.store(false, std::memory_order_relaxed);
    const std::size_t bytes = std::size_t(width_) * std::size_t(height_) * 3;
    if (!blank_ || data_.size() != bytes) AssignZeros(data_, bytes);
    blank_ = true;
    Touch();
}

void Bitmap24::Fill(Bgr c) {
    uint8_t* p = Data();
    for (std::size_t i = 0; i + 2 < data_.size(); i += 3) {
        p[i] = c.b; p[i + 1] = c.g; p[i + 2] = c.r;
    }
    Touch();
}

void Bitmap24::SetGreySize(int width, int height) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    // The grey bytes are all written by the caller: no zeroing of a picture's worth each frame.
    grey_.resize(std::size_t(width_) * height_);
    greyHeld_ = true;
    blank_ = false;  // the rows are spread from the grey bytes when asked for
    unspread_.store(true, std::memory_order_release);
    Touch();
}

void Bitmap24::SpreadGreyNow() const {
    std::lock_guard<std::mutex> lock(spreading_);
    if (!unspread_.load(std::memory_order_relaxed)) return;
    const std::size_t n = std::size_t(width_) * std::size_t(height_);
    // Resized only when the size changed, and then wholly written below.
    if (data_.size() != 3 * n) data_.resize(3 * n);
    for (int y = 0; y < height_; ++y)
        GreyToBgr(GreyRow(y), width_, data_.data() + std::size_t(y) * Stride());
    unspread_.store(false, std::memory_order_release);
}

void Bitmap24::CopyFrom(const Bitmap24& other) {
    std::lock_guard<std::mutex> lock(other.spreading_);
    width_ = other.width_;
    height_ = other.height_;
    greyHeld_ = other.greyHeld_;
    blank_ = other.blank_;
    const bool unspread = other.unspread_.load(std::memory_order_relaxed);
    if (greyHeld_) grey_ = other.grey_;
    if (!unspread) data_ = other.data_;
    unspread_.store(unspread, std::memory_order_release);
}

void Bitmap24::TakeFrom(Bitmap24& other) noexcept {
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    data_ = std::move(other.data_);
    other.data_.clear();
    grey_ = std::move(other.grey_);
    other.grey_.clear();
    greyHeld_ = std::exchange(other.greyHeld_, false);
    blank_ = std::exchange(other.blank_, false);
    unspread_.store(other.unspread_.exchange(false), std::memory_order_release);
    other.Touch();
}

}  // namespace talvenor
