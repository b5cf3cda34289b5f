#pragma once
// A plane of single-precision samples addressed (column, row), with ten spare columns and
// rows beyond the nominal size that code may address freely: filters and shifts read a
// little past the edge without testing every index. There is no bounds checking and the
// contents start uninitialised, because planes are filled completely before use and are
// large (4096 x 4096 at most).
#include <cstddef>
#include <memory>

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
    std::unique_ptr<float[]> data_;
    int width_ = 0, height_ = 0, stride_ = 0, rows_ = 0;
};

}  // namespace talvenor
