#pragma once
// A plane of single-precision samples addressed (column, row), with ten spare columns and
// rows beyond the nominal size that code may address freely: filters and shifts read a
// little past the edge without testing every index. There is no bounds checking. A new
// plane reads as zeros, but its memory is only written where it is used (large planes come
// from the system as pages it zeroes on first touch): a run allocates planes for the largest
// picture and area it may need and touches only what the capture in hand uses.
#include <cstddef>
#include <memory>

#include "workspace/zeroed_memory.h"

namespace talvenor {

class Single2dArray {
public:
    static constexpr int kMargin = 10;

    Single2dArray() = default;
    Single2dArray(int width, int height) { Create(width, height); }

    // Allocates (width + 10) x (height + 10) floats; previous contents are lost.
    void Create(int width, int height);
    void Destroy();
    bool Allocated() const { return data_ != nullptr; }

    int Width() const { return width_; }    // nominal size
    int Height() const { return height_; }
    int Stride() const { return stride_; }  // width + 10
    int Rows() const { return rows_; }      // height + 10

    float Get(int column, int row) const { return data_[std::size_t(column) + std::size_t(row) * stride_]; }
    void Put(int column, int row, float value) { data_[std::size_t(column) + std::size_t(row) * stride_] = value; }
    float& At(int column, int row) { return data_[std::size_t(column) + std::size_t(row) * stride_]; }
    float* Row(int row) { return data_.get() + std::size_t(row) * stride_; }
    const float* Row(int row) const { return data_.get() + std::size_t(row) * stride_; }
    float* Data() { return data_.get(); }
    const float* Data() const { return data_.get(); }
    std::size_t ElementCount() const { return std::size_t(stride_) * rows_; }
    // Sets every element, margin included.
    void Fill(float value);

private:
    ZeroedArray<float> data_;
    int width_ = 0, height_ = 0, stride_ = 0, rows_ = 0;
};

}  // namespace talvenor
