#include "wavelets/deconvolution.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "wavelets/mixed_radix_fft.h"
#include "wavelets/richardson_lucy.h"
#include "workspace/error.h"

namespace talvenor {

namespace {

// The picture's own pixels read around the area: wide enough that the restoration of the
// area's edge sees what lies beyond it, and that the Wiener filter's wrap-around seam is many
// kernel widths away.
int MarginFor(double sigma) { return 16 + int(std::ceil(8 * sigma)); }

int Mirror(int i, int n) {
    const int period = 2 * n;
    i %= period;
    if (i < 0) i += period;
    return i < n ? i : period - 1 - i;
}

// The working plane: pixel (x, y) is the picture's (left + x, top + y), mirrored into the
// picture where that lies outside it, less the sky level.
struct Working {
    int left = 0, top = 0;
    float sky = 0;
    FloatPlane plane;
};

Working Extend(const Single2dArray& source, int imageWidth, int imageHeight, const PixelRect& area, int width,
               int height, int margin, float sky) {
    Working w{area.left - margin, area.top - margin, sky, {width, height, std::vector<float>(std::size_t(width) * height)}};
    std::vector<int> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) columns[std::size_t(x)] = Mirror(w.left + x, imageWidth);
    for (int y = 0; y < height; ++y) {
        const float* src = source.Row(Mirror(w.top + y, imageHeight));
        float* dst = w.plane.Row(y);
        for (int x = 0; x < width; ++x) dst[x] = src[columns[std::size_t(x)]] - sky;
    }
    return w;
}

void WriteBack(const Working& w, Single2dArray& target, const PixelRect& area) {
    for (int y = area.top; y < area.bottom; ++y) {
        const float* src = w.plane.Row(y - w.top) - w.left;
        float* dst = target.Row(y);
        for (int x = area.left; x < area.right; ++x) dst[x] = std::max(0.0f, src[x] + w.sky);
    }
}

// Two real planes ride in one complex transform (one as the real part, one as the imaginary):
// the filter is real and even, so it keeps them apart.
void WienerPair(Working& a, Working* b, const DeconvolutionSettings& s) {
    const int w = a.plane.width, h = a.plane.height;
    FftPlane2d fft(w, h);
    for (int y = 0; y < h; ++y) {
        Complex* row = fft.Row(y);
        const float* ra = a.plane.Row(y);
        const float* rb = b ? b->plane.Row(y) : nullptr;
        for (int x = 0; x < w; ++x) row[x] = {ra[x], rb ? rb[x] : 0.0f};
    }
    fft.Forward();
    const float spread = float(2 * std::numbers::pi * std::numbers::pi * s.sigma * s.sigma);
    const float k = float(s.wienerK);
    fft.MultiplySpectrum([&](float fx, float fy) {
        const float t = std::exp(-spread * (fx * fx + fy * fy));
        return t * (1 + k) / (t * t + k);
    });
    fft.Inverse();
    for (int y = 0; y < h; ++y) {
        const Complex* row = fft.Row(y);
        float* ra = a.plane.Row(y);
        float* rb = b ? b->plane.Row(y) : nullptr;
        for (int x = 0; x < w; ++x) {
            ra[x] = row[x].real();
            if (rb) rb[x] = row[x].imag();
        }
    }
}

PixelRect Clipped(const PixelRect& r, int w, int h) {
    return {std::clamp(r.left, 0, w), std::clamp(r.top, 0, h), std::clamp(r.right, 0, w), std::clamp(r.bottom, 0, h)};
}

}  // namespace

float SkyLevel(const Single2dArray& plane, const PixelRect& area, double percentile) {
    std::vector<float> values;
    values.reserve(std::size_t(std::max(0, area.right - area.left)) * std::max(0, area.bottom - area.top));
    for (int y = area.top; y < area.bottom; ++y) values.insert(values.end(), plane.Row(y) + area.left, plane.Row(y) + area.right);
    if (values.empty()) return 0;
    const auto k = std::size_t(std::clamp(percentile, 0.0, 1.0) * double(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
    return values[k];
}

float PixelNoise(const Single2dArray& plane, const PixelRect& area) {
    std::vector<float> deviations;
    for (int y = area.top + 1; y < area.bottom - 1; ++y)
        for (int x = area.left + 1; x < area.right - 1; ++x)
            deviations.push_back(std::fabs(plane.Get(x, y) - 0.25f * (plane.Get(x - 1, y) + plane.Get(x + 1, y) +
                                                                      plane.Get(x, y - 1) + plane.Get(x, y + 1))));
    if (deviations.empty()) return 0;
    const auto middle = deviations.begin() + std::ptrdiff_t(deviations.size() / 2);
    std::nth_element(deviations.begin(), middle, deviations.end());
    // White noise of deviation s gives differences of deviation s sqrt(1 + 4/16); the median of
    // their absolute value is 0.6745 of that.
    return *middle / (0.6745f * std::sqrt(1.25f));
}

bool Deconvolve(std::span<Single2dArray* const> channels, int imageWidth, int imageHeight, const PixelRect& area,
                const DeconvolutionSettings& settings, const DeconvolutionHooks& hooks) {
    if (!(settings.sigma > 0) || settings.sigma > 20) throw Error("The blur's sigma must be above 0 and at most 20 pixels");
    const PixelRect r = Clipped(area, imageWidth, imageHeight);
    if (r.right <= r.left || r.bottom <= r.top || channels.empty()) return true;
    const bool wiener = settings.method == DeconvolutionMethod::Wiener;
    const int margin = MarginFor(settings.sigma);
    const int width = r.right - r.left + 2 * margin, height = r.bottom - r.top + 2 * margin;
    const int fftWidth = wiener ? GoodFftLength(width) : width, fftHeight = wiener ? GoodFftLength(height) : height;

    std::vector<Working> work;
    for (Single2dArray* c : channels)
        work.push_back(Extend(*c, imageWidth, imageHeight, r, fftWidth, fftHeight, margin, SkyLevel(*c, r)));

    const int steps = wiener ? int(work.size() + 1) / 2 : int(work.size()) * std::max(1, settings.iterations);
    int done = 0;
    auto step = [&]() {
        ++done;
        if (hooks.progress) hooks.progress(double(done) / steps);
        return !(hooks.cancelled && hooks.cancelled());
    };
    if (wiener) {
        for (std::size_t c = 0; c < work.size(); c += 2) {
            WienerPair(work[c], c + 1 < work.size() ? &work[c + 1] : nullptr, settings);
            if (!step()) return false;
        }
    } else {
        for (std::size_t c = 0; c < work.size(); ++c) {
            const float noise = PixelNoise(*channels[c], r);
            if (!RichardsonLucy(work[c].plane, settings.sigma, settings.iterations, settings.damping, noise,
                                [&](int) { return step(); }))
                return false;
        }
    }
    for (std::size_t c = 0; c < work.size(); ++c) WriteBack(work[c], *channels[c], r);
    return true;
}

}  // namespace talvenor
