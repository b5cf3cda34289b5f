#include "wavelets/blind_sigma.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "wavelets/mixed_radix_fft.h"
#include "wavelets/sky_and_noise.h"

namespace talvenor {

namespace {

constexpr int kBins = 64;               // radial bins over 0 .. 0.5 cycles per pixel
constexpr double kObjectFraction = 0.05; // of the way from the sky to the peak: the object
constexpr int kRegionMargin = 16;        // pixels of sky kept around it

Single2dArray Luminance(std::span<const Single2dArray* const> channels, const PixelRect& area) {
    Single2dArray sum(area.right, area.bottom);
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            float s = 0;
            for (const Single2dArray* c : channels) s += c->Get(x, y);
            sum.Put(x, y, s);
        }
    return sum;
}

// The bounding box of the pixels well above the sky, widened by a margin, within the area.
PixelRect ObjectRegion(const Single2dArray& lum, const PixelRect& area) {
    const float sky = SkyLevel(lum, area, 0.01), peak = SkyLevel(lum, area, 0.999);
    const float level = sky + float(kObjectFraction) * (peak - sky);
    PixelRect box{area.right, area.bottom, area.left, area.top};
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (lum.Get(x, y) > level) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    if (box.right <= box.left) return area;
    return {std::max(area.left, box.left - kRegionMargin), std::max(area.top, box.top - kRegionMargin),
            std::min(area.right, box.right + kRegionMargin), std::min(area.bottom, box.bottom + kRegionMargin)};
}

// Mean power per radial bin of the region, its mean removed and a Hann window applied so the
// region's edges add no spectrum of their own.
std::vector<double> RadialPower(const Single2dArray& lum, const PixelRect& region) {
    const int w = region.right - region.left, h = region.bottom - region.top;
    FftPlane2d fft(GoodFftLength(w), GoodFftLength(h));
    double mean = 0;
    for (int y = region.top; y < region.bottom; ++y)
        for (int x = region.left; x < region.right; ++x) mean += lum.Get(x, y);
    mean /= double(w) * h;
    std::fill(fft.Data(), fft.Data() + std::size_t(fft.Width()) * fft.Height(), Complex{});
    for (int y = 0; y < h; ++y) {
        const double wy = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * (y + 0.5) / h);
        for (int x = 0; x < w; ++x) {
            const double wx = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * (x + 0.5) / w);
            fft.Row(y)[x] = float((lum.Get(region.left + x, region.top + y) - mean) * wx * wy);
        }
    }
    fft.Forward();
    std::vector<double> power(kBins, 0.0), count(kBins, 0.0);
    const Complex* spectrum = fft.Data();
    for (int u = 0; u < fft.Width(); ++u) {
        const double fx = double(u <= fft.Width() / 2 ? u : u - fft.Width()) / fft.Width();
        for (int v = 0; v < fft.Height(); ++v) {
            const double fy = double(v <= fft.Height() / 2 ? v : v - fft.Height()) / fft.Height();
            const int bin = int(std::sqrt(fx * fx + fy * fy) * 2 * kBins);
            if (bin >= kBins) continue;
            const Complex c = spectrum[std::size_t(u) * fft.Height() + v];
            power[std::size_t(bin)] += double(c.real()) * c.real() + double(c.imag()) * c.imag();
            count[std::size_t(bin)] += 1;
        }
    }
    for (int b = 0; b < kBins; ++b) power[std::size_t(b)] = count[std::size_t(b)] > 0 ? power[std::size_t(b)] / count[std::size_t(b)] : 0;
    return power;
}

struct Fit {
    double cost = std::numeric_limits<double>::infinity(), sigma = 0, exponent = 0, amplitude = 0, floor = 0;
};

// A and N >= 0 minimising the relative error sum ((A g + N - P) / P)^2, then the cost of the
// fit in logarithms (so every decade of the spectrum counts alike).
void TryFit(const std::vector<double>& f, const std::vector<double>& p, double sigma, double exponent, Fit& best) {
    const double spread = 4 * std::numbers::pi * std::numbers::pi * sigma * sigma;
    double uu = 0, ue = 0, ee = 0, su = 0, se = 0;
    std::vector<double> g(f.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
        g[i] = std::pow(f[i], -exponent) * std::exp(-spread * f[i] * f[i]);
        const double u = g[i] / p[i], e = 1 / p[i];
        uu += u * u, ue += u * e, ee += e * e, su += u, se += e;
    }
    const double det = uu * ee - ue * ue;
    double a = det > 0 ? (su * ee - se * ue) / det : -1, n = det > 0 ? (uu * se - ue * su) / det : -1;
    if (a < 0 || n < 0) {
        const double costA = su * su / uu, costN = se * se / ee;  // the larger explains more
        if (costA >= costN) a = su / uu, n = 0;
        else a = 0, n = se / ee;
    }
    if (!(a > 0)) return;
    double cost = 0;
    for (std::size_t i = 0; i < f.size(); ++i) {
        const double d = std::log((a * g[i] + n) / p[i]);
        cost += d * d;
    }
    if (cost < best.cost) best = {cost, sigma, exponent, a, n};
}

Fit FitSpectrum(const std::vector<double>& f, const std::vector<double>& p) {
    Fit best;
    for (int a = 0; a <= 120; ++a)
        for (int s = 10; s <= 400; s += 2) TryFit(f, p, s / 100.0, a / 20.0, best);
    // Refined around the best point of the coarse grid.
    const Fit coarse = best;
    for (int a = -2; a <= 2; ++a)
        for (int s = -3; s <= 3; ++s) TryFit(f, p, coarse.sigma + s / 200.0, coarse.exponent + a / 40.0, best);
    return best;
}

}  // namespace

BlindSigmaEstimate EstimateBlurSigma(std::span<const Single2dArray* const> channels, int imageWidth, int imageHeight,
                                     const PixelRect& area) {
    const PixelRect clipped{std::clamp(area.left, 0, imageWidth), std::clamp(area.top, 0, imageHeight),
                            std::clamp(area.right, 0, imageWidth), std::clamp(area.bottom, 0, imageHeight)};
    BlindSigmaEstimate result;
    if (channels.empty() || clipped.right - clipped.left < 16 || clipped.bottom - clipped.top < 16) return result;
    const Single2dArray lum = Luminance(channels, clipped);
    result.region = ObjectRegion(lum, clipped);
    const std::vector<double> power = RadialPower(lum, result.region);
    // The lowest frequencies hold the object's outline rather than its detail.
    const int side = std::min(result.region.right - result.region.left, result.region.bottom - result.region.top);
    const double lowest = std::max(0.03, 4.0 / side);
    std::vector<double> f, p;
    for (int b = 0; b < kBins; ++b) {
        const double centre = (b + 0.5) / (2 * kBins);
        if (centre >= lowest && power[std::size_t(b)] > 0) f.push_back(centre), p.push_back(power[std::size_t(b)]);
    }
    if (f.size() < 8) return result;
    Fit best = FitSpectrum(f, p);
    double mean = 0;
    for (double v : p) mean += v;
    mean /= double(p.size());
    result.sigma = best.sigma;
    result.exponent = best.exponent;
    result.noiseFloor = best.floor / mean;
    result.amplitude = best.amplitude / mean;
    result.meanPower = mean;
    result.wienerK = std::clamp(kWienerKPerFloor * result.noiseFloor, 0.001, 0.1);
    result.iterations = int(std::clamp(std::lrint(kIterationsTimesK / result.wienerK), 20L, 40L));
    return result;
}

}  // namespace talvenor
