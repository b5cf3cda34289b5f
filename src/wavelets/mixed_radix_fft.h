#pragma once
// Complex Fourier transforms of any length whose only prime factors are 2, 3 and 5, for the
// deconvolution of whole pictures: the registration engine's planes are square powers of two
// of at most 512, but a picture padded for deconvolution is e.g. 720 x 576. Transforms are
// single precision, self-sorting (Stockham: no bit reversal), and allocate nothing once planned.
#include <complex>
#include <vector>

namespace talvenor {

using Complex = std::complex<float>;

// The smallest length >= n whose prime factors are 2, 3 and 5 only.
int GoodFftLength(int n);

class Fft1d {
public:
    explicit Fft1d(int n);  // n must be a good length (throws Error otherwise)
    int Size() const { return n_; }
    // X[k] = sum x[j] e^(-2 pi i j k / n) in place, unnormalised; `scratch` holds n values.
    void Forward(Complex* data, Complex* scratch) const;
    // e^(+2 pi i j k / n), unnormalised (Forward then Inverse multiplies by n).
    void Inverse(Complex* data, Complex* scratch) const;

private:
    struct Stage {
        int radix = 0, span = 0;  // span: the length of the transforms already combined
        std::size_t twiddles = 0;  // where this stage's span * (radix - 1) twiddles start
    };
    void Run(Complex* data, Complex* scratch) const;
    int n_ = 0;
    std::vector<Stage> stages_;
    std::vector<Complex> twiddles_;
};

// A width x height complex plane, rows contiguous, transformed in two dimensions. The forward
// transform leaves the spectrum transposed (frequency (u, v) at u * height + v), which is
// where the inverse expects it: filters that depend on |frequency| never need it upright.
class FftPlane2d {
public:
    FftPlane2d(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    Complex* Data() { return data_.data(); }
    Complex* Row(int y) { return data_.data() + std::size_t(y) * width_; }

    void Forward();
    void Inverse();  // normalised: Forward then Inverse gives the plane back

    // Multiplies the spectrum (after Forward) by gain(fx, fy), fx and fy in cycles per pixel
    // (-0.5 .. 0.5). The gain must be even in both (a real, symmetric kernel).
    template <typename Gain>
    void MultiplySpectrum(Gain gain) {
        for (int u = 0; u < width_; ++u) {
            const float fx = float(u <= width_ / 2 ? u : u - width_) / float(width_);
            Complex* column = data_.data() + std::size_t(u) * height_;
            for (int v = 0; v < height_; ++v) {
                const float fy = float(v <= height_ / 2 ? v : v - height_) / float(height_);
                column[v] *= gain(fx, fy);
            }
        }
    }

private:
    void TransformRows(std::vector<Complex>& plane, int rows, const Fft1d& fft, bool forward);
    int width_, height_;
    Fft1d alongX_, alongY_;
    std::vector<Complex> data_, transposed_;
};

}  // namespace talvenor
