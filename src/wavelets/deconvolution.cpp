#include "wavelets/deconvolution.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "wavelets/mixed_radix_fft.h"
#include "wavelets/richardson_lucy.h"
#include "wavelets/sky_and_noise.h"
#include "workspace/error.h"

namespace talvenor {

namespace {

// The picture's own pixels read around the area: wide enough that the restoration of the
// area's edge sees what lies beyond it, and that the Wiener filter's wrap-around seam is many
// kernel widths away.
int MarginFor(double sigma) { return 16 + int(std::ceil(8 * sigma)); }

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
    for (int x = 0; x < width; ++x) columns[std::size_t(x)] = MirroredIndex(w.left + x, imageWidth);
    for (int y = 0; y < height; ++y) {
        const float* src = source.Row(MirroredIndex(w.top + y, imageHeight));
        float* dst = w.plane.Row(y);
        for (int x = 0; x < width; ++x) dst[x] = src[columns[std::size_t(x)]] - sky;
    }
    return w;
}

void WriteBack(const Working& w, Single2dArray& target, const PixelRect& area) {
    for (int y = area.top; y < area.bottom; ++y) {
        const float* src = w.plane.Row(y - w.top);
        float* dst = target.Row(y);
        for (int x = area.left; x < area.right; ++x) dst[x] = std::max(0.0f, src[x - w.left] + w.sky);
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

namespace {

// The mean of the channels over the whole picture.
Single2dArray MeanOf(std::span<Single2dArray* const> channels, int width, int height) {
    Single2dArray mean(width, height);
    const float share = 1.0f / float(channels.size());
    for (int y = 0; y < height; ++y) {
        float* dst = mean.Row(y);
        std::fill(dst, dst + width, 0.0f);
        for (const Single2dArray* c : channels) {
            const float* src = c->Row(y);
            for (int x = 0; x < width; ++x) dst[x] += share * src[x];
        }
    }
    return mean;
}

// The restored mean's change added to every channel.
void AddChange(const Working& restored, const Single2dArray& mean, std::span<Single2dArray* const> channels,
               const PixelRect& area) {
    for (int y = area.top; y < area.bottom; ++y) {
        const float* after = restored.plane.Row(y - restored.top);
        const float* before = mean.Row(y);
        for (Single2dArray* c : channels) {
            float* dst = c->Row(y);
            for (int x = area.left; x < area.right; ++x)
                dst[x] = std::max(0.0f, dst[x] + after[x - restored.left] + restored.sky - before[x]);
        }
    }
}

}  // namespace

bool Deconvolve(std::span<Single2dArray* const> channels, int imageWidth, int imageHeight, const PixelRect& area,
                const DeconvolutionSettings& settings, const DeconvolutionHooks& hooks) {
    if (!(settings.sigma > 0) || settings.sigma > 20) throw Error("The blur's sigma must be above 0 and at most 20 pixels");
    const bool wiener = settings.method == DeconvolutionMethod::Wiener;
    if (wiener && !(settings.wienerK > 0)) throw Error("The Wiener filter's noise ratio must be above 0");
    const PixelRect r = Clipped(area, imageWidth, imageHeight);
    if (r.right <= r.left || r.bottom <= r.top || channels.empty() || (!wiener && settings.iterations < 1)) return true;
    const int margin = MarginFor(settings.sigma);
    const int width = r.right - r.left + 2 * margin, height = r.bottom - r.top + 2 * margin;
    const int fftWidth = wiener ? GoodFftLength(width) : width, fftHeight = wiener ? GoodFftLength(height) : height;
    const PixelRect picture{0, 0, imageWidth, imageHeight};

    const bool luminance = settings.luminance && channels.size() > 1;
    Single2dArray mean;
    if (luminance) mean = MeanOf(channels, imageWidth, imageHeight);
    std::vector<const Single2dArray*> sources;
    if (luminance)
        sources.push_back(&mean);
    else
        sources.assign(channels.begin(), channels.end());
    std::vector<Working> work;
    for (const Single2dArray* c : sources)
        work.push_back(Extend(*c, imageWidth, imageHeight, r, fftWidth, fftHeight, margin, SkyLevel(*c, picture)));

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
            const NoiseModel noise = settings.damping > 0 ? EstimateNoise(*sources[c], picture, work[c].sky) : NoiseModel{};
            if (!RichardsonLucy(work[c].plane, settings.sigma, settings.iterations, settings.damping, noise,
                                [&](int) { return step(); }))
                return false;
        }
    }
    if (luminance)
        AddChange(work[0], mean, channels, r);
    else
        for (std::size_t c = 0; c < work.size(); ++c) WriteBack(work[c], *channels[c], r);
    return true;
}

}  // namespace talvenor
