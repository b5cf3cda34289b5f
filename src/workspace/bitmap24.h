#pragma once
// A 24-bit picture with rows of blue, green, red bytes: the frame in hand, every display
// picture and every graph. The Qt layer wraps it in a QImage (BGR888) without conversion.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "workspace/zeroed_memory.h"

namespace talvenor {

struct Bgr {
    uint8_t b = 0, g = 0, r = 0;
    friend bool operator==(const Bgr&, const Bgr&) = default;
};

// Colours are given as 0xRRGGBB throughout the program.
constexpr Bgr ColourOf(uint32_t rgb) {
    return Bgr{uint8_t(rgb & 0xFF), uint8_t((rgb >> 8) & 0xFF), uint8_t((rgb >> 16) & 0xFF)};
}
constexpr uint32_t RgbOf(Bgr c) { return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }

// A grey picture may be held as its grey bytes alone, one a pixel: a monochrome capture's frame
// is decoded that way, and the passes that only weigh its pixels read the grey bytes, three
// times fewer than the blue, green and red rows. Those rows are spread from the grey bytes the
// first time anything asks for them (Row, Data, Pixel), so every other reader sees the picture
// as ever; a const reader may do so from several threads at once. A change through the
// non-const accessors ends the grey holding, as the rows may no longer be grey.
class Bitmap24 {
public:
    Bitmap24() = default;
    Bitmap24(int width, int height) { SetSize(width, height); }
    Bitmap24(const Bitmap24& other) { CopyFrom(other); }
    Bitmap24(Bitmap24&& other) noexcept { TakeFrom(other); }
    // Taking another picture's pixels is a change of this picture: its generation moves on
    // (it is never copied, so a display can trust "same generation = same pixels").
    Bitmap24& operator=(const Bitmap24& other) {
        if (this != &other) {
            CopyFrom(other);
            Touch();
        }
        return *this;
    }
    Bitmap24& operator=(Bitmap24&& other) noexcept {
        if (this != &other) {
            TakeFrom(other);
            Touch();
        }
        return *this;
    }

    // Resizes and zero-fills (black). A size of 0 in either direction gives an empty picture.
    void SetSize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    // Bytes per row: three per pixel, no padding.
    std::size_t Stride() const { return std::size_t(width_) * 3; }

    uint8_t* Row(int y) { return Data() + std::size_t(y) * Stride(); }
    const uint8_t* Row(int y) const { return Data() + std::size_t(y) * Stride(); }
    uint8_t* Data() {
        SpreadGrey();
        greyHeld_ = false;
        blank_ = false;
        return data_.data();
    }
    const uint8_t* Data() const {
        SpreadGrey();
        return data_.data();
    }

    Bgr Pixel(int x, int y) const {
        const uint8_t* p = Row(y) + 3 * x;
        return Bgr{p[0], p[1], p[2]};
    }
    void SetPixel(int x, int y, Bgr c) {
        uint8_t* p = Row(y) + 3 * x;
        p[0] = c.b; p[1] = c.g; p[2] = c.r;
    }
    void Fill(Bgr c);

    // A grey picture of the size, held as grey bytes for the caller to fill (GreyRowToFill);
    // what the picture held before is gone.
    void SetGreySize(int width, int height);
    uint8_t* GreyRowToFill(int y) { return grey_.data() + std::size_t(y) * std::size_t(width_); }
    // Whether the picture is grey and its grey bytes are at hand: one a pixel, a row of
    // Width() bytes from GreyRow.
    bool HoldsGrey() const { return greyHeld_; }
    const uint8_t* GreyRow(int y) const { return grey_.data() + std::size_t(y) * std::size_t(width_); }
    // The blue, green and red rows spread from the grey bytes now, if they are not yet.
    void SpreadGrey() const {
        if (unspread_.load(std::memory_order_acquire)) SpreadGreyNow();
    }

    // Bumped by every change a display should pick up (see Host::Repaint).
    uint64_t Generation() const { return generation_; }
    void Touch() { ++generation_; }

    friend bool operator==(const Bitmap24& a, const Bitmap24& b) {
        a.SpreadGrey();
        b.SpreadGrey();
        return a.width_ == b.width_ && a.height_ == b.height_ && a.data_ == b.data_;
    }

private:
    void SpreadGreyNow() const;
    void CopyFrom(const Bitmap24& other);
    void TakeFrom(Bitmap24& other) noexcept;

    int width_ = 0, height_ = 0;
    mutable LargeBytes data_;  // blue, green, red rows; spread from grey_ while unspread_
    LargeBytes grey_;          // the grey bytes, valid while greyHeld_
    bool greyHeld_ = false;
    // Whether data_ is all zeros as SetSize left it, nothing having been written since: a picture
    // sized again (at every input or stack) is then not cleared again, and a display picture a
    // command-line run never draws on keeps pages it has never touched.
    bool blank_ = false;
    mutable std::atomic<bool> unspread_{false};
    mutable std::mutex spreading_;
    uint64_t generation_ = 0;
};

}  // namespace talvenor
