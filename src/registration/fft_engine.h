#pragma once
// The numerical core of registration: one square complex working plane of single-precision
// values, transformed forward and back by a radix-2 FFT of size N = AlignBoxSize (32 .. 512),
// reduced to a radial power spectrum (frame quality, the power-spectrum graph) and rendered
// as a false-colour picture for the FFT spectrum window.
//
// Planes are arrays of up to 1025 x 1025 values addressed plane(x, y), x the image column, each
// column contiguous; a plane holds the side it is fitted for (the N x N corner a transform
// uses), and once fitted no transform allocates memory.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "workspace/bitmap24.h"
#include "workspace/zeroed_memory.h"

namespace talvenor {

constexpr int kFftPlaneSide = 1025;
constexpr int kMaxTransformSize = 512;

class FftPlane {
public:
    FftPlane() = default;  // holds nothing until fitted
    FftPlane(const FftPlane&) = delete;
    FftPlane& operator=(const FftPlane&) = delete;

    // Makes room for columns and rows 0 .. side - 1 (side at most kFftPlaneSide). A plane only
    // grows; growing keeps the values it holds, and a value never written reads as zero. Every
    // writer of a corner fits the plane first (ClearCorner, CopyCornerFrom, the engine's
    // transforms and box copies), so a 128-pixel box takes a plane of 74 KB: a plane of the
    // largest side for every box cost a fresh 2 MB page each on first use, which on a virtual
    // machine took a millisecond or more per plane at the start of every run.
    void Fit(int side);
    int Side() const { return side_; }

    float& operator()(int x, int y) { return data_[std::size_t(x) * stride_ + std::size_t(y)]; }
    float operator()(int x, int y) const { return data_[std::size_t(x) * stride_ + std::size_t(y)]; }
    // Column x: the values (x, 0), (x, 1), ... one after the other.
    float* Column(int x) { return data_ + std::size_t(x) * stride_; }
    const float* Column(int x) const { return data_ + std::size_t(x) * stride_; }

    // The N x N corner is all that is ever read, so clearing and copying it stands in for
    // the whole-plane block moves (a fraction of the memory traffic per frame). Both fit the
    // plane to n; values of `other` beyond its side are zeros.
    void ClearCorner(int n);
    void CopyCornerFrom(const FftPlane& other, int n);

private:
    ZeroedArray<float> block_;
    float* data_ = nullptr;  // the block's first cache line
    int side_ = 0;
    std::size_t stride_ = 0;
};

// Which vector steps the transforms take: the widest the processor has, or the baseline
// x86-64 ones every processor has (the same values either way; tests compare the two).
enum class FftVectors { Widest, Baseline };

class FftEngine {
public:
    explicit FftEngine(FftVectors vectors = FftVectors::Widest);
    FftEngine(const FftEngine&) = delete;
    FftEngine& operator=(const FftEngine&) = delete;

    // N = 32, 64, 128, 256 or 512: the size, bit-reversal table, the twiddle factors and
    // SpectrumGamma. Must run before any transform and whenever the size changes.
    void SetTransformSize(int n);
    int AlignBoxSize() const { return n_; }
    int FFTHalfSize() const { return n_ / 2; }
    int FFTBits() const { return bits_; }

    // Forward: X[k] = sum x[n] e^(+2 pi i n k / N), unnormalised, on the N x N corner of
    // TransformRe/TransformIm. Inverse: e^(-2 pi i n k / N), normalised by 1/N^2, so a forward
    // transform followed by an inverse one reproduces the input.
    void ForwardTransform2D();
    void InverseTransform2D();

    // RadialSpectrum[k] = mean magnitude, relative to the plane's largest magnitude, of all
    // frequencies whose rounded radius is k + 1 (radius 0 and radii above 255 ignored);
    // RadialSpectrumMax = the largest entry.
    void ComputeRadialSpectrum();

    // False-colour picture of the magnitude of re (+ i im when given), quadrant-swapped so
    // frequency 0 is in the centre; N x N pixels.
    Bitmap24 RenderSpectrum(const FftPlane& re, const FftPlane* im, double threshold) const;

    FftPlane TransformRe, TransformIm;
    std::array<float, 256> RadialSpectrum{};
    float RadialSpectrumMax = 0;
    std::array<double, 1001> SpectrumGamma{};

    // Room for an N x N box stored row by row (x + N * y), for callers that read a box out of
    // a picture a row at a time: filling the column-major planes directly from rows strides
    // through the cache at every pixel, copying a finished box over does not.
    float* BoxRows() { return boxRows_.get(); }
    // The N x N box in BoxRows() into the columns of `plane` (TransformRe or another), 8 x 8
    // (or 4 x 4) blocks at a time.
    void BoxRowsInto(FftPlane& plane);

private:
    // The transforms along y of `Lanes` columns at a time, one column per vector lane, so
    // every butterfly of every stage runs on whole vectors; each lane does exactly the
    // arithmetic of the one-column transform.
    template <bool Forward>
    void TransformAlongY(float scale);
    // Along x: the butterflies act on whole columns at once, so no strided gather is needed.
    void TransformAlongX(int direction, float scale);
    int n_ = 0, bits_ = 0;
    bool baseline_ = false;
    std::array<uint16_t, kMaxTransformSize> bitReverse_{};
    // Twiddle factors per stage, computed directly in double precision and stored as single.
    std::array<float, kMaxTransformSize> twiddleRe_{}, twiddleIm_{};
    // The columns of one AlongY group, interleaved (up to 8 of them), aligned for the widest
    // vector; written before they are read.
    alignas(64) std::array<float, kMaxTransformSize * 8> laneRe_, laneIm_;
    std::unique_ptr<float[]> magnitude_;  // RenderSpectrum's magnitudes, allocated once
    std::unique_ptr<float[]> boxRows_;
    // Rounded radius (1..255, 0 = ignored) of every frequency, N x N at x * N + y, and how
    // many frequencies fall on each radius 1..255: fixed per size, built by SetTransformSize.
    std::unique_ptr<uint8_t[]> radiusOf_;
    std::array<int, 255> radiusCount_{};
    // The frequencies (x * N + y) of radius 1, then of radius 2, ..., each in plane order;
    // radius k + 1's start at binStart_[k].
    std::vector<uint32_t> binMembers_;
    std::array<int, 256> binStart_{};
};

// Whitens the N x N spectrum in place: every frequency divided by its magnitude,
// sqrt(re^2 + im^2 + 0.000001), in single precision; several at a time, the same values as one
// at a time.
void WhitenSpectrum(FftPlane& re, FftPlane& im, int n, FftVectors vectors = FftVectors::Widest);

// The spectral colour of a wavelength in nm, as blue, green, red bytes.
Bgr SpectralColour(double wavelength);

}  // namespace talvenor
