#pragma once
// Moving float images by sub-pixel amounts and finding the shift between two pictures of
// the same scene: the tools of the evaluation, which must register a result to the truth
// better than the program under test registers its frames, or it would judge its own error.
#include <cstdint>
#include <vector>

#include "capture/frames.h"

namespace talvenor::capture {

// Luminance 0.299 R + 0.587 G + 0.114 B of a colour image, the single plane of a grey one.
std::vector<float> LuminanceOf(const FloatImage& image);

// out(x, y) = in(x - dx, y - dy) by separable Lanczos-3 interpolation (weights normalised to
// sum 1, so flat areas stay flat). `valid` (when given) marks the pixels whose taps all lie
// inside `in`; the others are filled from the nearest edge pixel.
void ShiftImage(const FloatImage& in, double dx, double dy, FloatImage& out, std::vector<uint8_t>* valid = nullptr);

// Reduces an image whose size is an integer multiple of (width, height) by averaging
// blocks (a resampled stack compared with the truth); any other size is an Error.
FloatImage ReduceToSize(const FloatImage& image, int width, int height);

struct WholeShift {
    int dx = 0, dy = 0;          // a(x) best matches b(x - d)
    double fracX = 0, fracY = 0;  // sub-pixel estimate from the correlation peak, -0.5 .. 0.5
    double correlation = 0;      // normalised correlation at (dx, dy)
};

// The shift of picture `a` against `b` (both width x height planes) with |dx|, |dy| up to
// `reach` pixels: normalised cross-correlation over the overlap, searched exhaustively on a
// pyramid of 2 x 2 block means and refined one level at a time.
WholeShift FindWholeShift(const std::vector<float>& a, const std::vector<float>& b, int width, int height, int reach);

}  // namespace talvenor::capture
