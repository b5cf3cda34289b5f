#pragma once
// Rows of 8-bit BGR pixels (three bytes each, as frames are held) into floats. Reading three
// bytes a pixel keeps the compiler from converting whole vectors at a time, so the bytes of a
// run of pixels are first split into their blue, green and red runs; the conversions then run on
// whole vectors and give the same floats, in the same order of products and sums, as a loop
// over the pixels.
#include <cstddef>
#include <cstdint>

#include "workspace/bitmap24.h"

namespace talvenor {

// The most pixels the helpers below take at a time (a run of a row).
constexpr int kBgrRun = 64;

// Splits `n` (at most kBgrRun) BGR pixels into their blue, green and red bytes.
void SplitBgr(const uint8_t* src, int n, uint8_t* blue, uint8_t* green, uint8_t* red);

// out[i] = (a[i] * wa + b[i] * wb) + c[i] * wc for i < n.
void WeighBytes(const uint8_t* a, float wa, const uint8_t* b, float wb, const uint8_t* c, float wc, float* out, int n);

// out[i] = bytes[i] for i < n.
void BytesToFloats(const uint8_t* bytes, float* out, int n);

// `n` grey bytes spread over blue, green and red: three bytes each.
void GreyToBgr(const uint8_t* grey, int n, uint8_t* bgr);

// A whole row of `n` BGR pixels weighed into `out`: (red wr + green wg) + blue wb, or with
// `greenFirst` (green wg + red wr) + blue wb, the order of the grey mix.
void WeighBgrRow(const uint8_t* src, int n, float wr, float wg, float wb, bool greenFirst, float* out);
// The same for a row of `n` grey bytes, as WeighBgrRow gives it for the row spread over blue,
// green and red, to the bit.
void WeighGreyRow(const uint8_t* grey, int n, float wr, float wg, float wb, bool greenFirst, float* out);
// Pixels x .. x + n - 1 of row y of `picture` weighed so, from its grey bytes when it holds them.
inline void WeighPictureRow(const Bitmap24& picture, int y, int x, int n, float wr, float wg, float wb,
                            bool greenFirst, float* out) {
    if (picture.HoldsGrey()) WeighGreyRow(picture.GreyRow(y) + x, n, wr, wg, wb, greenFirst, out);
    else WeighBgrRow(picture.Row(y) + 3 * std::ptrdiff_t(x), n, wr, wg, wb, greenFirst, out);
}

// A whole row of `n` BGR pixels added to running sums: each channel to its own, or weighed as
// the grey mix (green wg + red wr) + blue wb to one.
void AddBgrRow(const uint8_t* src, int n, float* red, float* green, float* blue);
void AddGreyMixRow(const uint8_t* src, int n, float wr, float wg, float wb, float* sum);

// A whole row of `n` BGR pixels into three channel rows.
void SplitBgrRow(const uint8_t* src, int n, float* red, float* green, float* blue);

// Pixels x .. x + n - 1 of row y of `picture`, as the three helpers above take them, from its
// grey bytes when it holds them (the same floats, to the bit).
void AddPictureRow(const Bitmap24& picture, int y, int x, int n, float* red, float* green, float* blue);
void AddGreyMixPictureRow(const Bitmap24& picture, int y, int x, int n, float wr, float wg, float wb, float* sum);
void SplitPictureRow(const Bitmap24& picture, int y, int x, int n, float* red, float* green, float* blue);

}  // namespace talvenor
