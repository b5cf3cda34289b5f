#include "final/render_final.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>

#include "final/colour_model.h"
#include "workspace/parallel_rows.h"

namespace talvenor {

namespace {

// Rounds half to even, as std::nearbyint does in the default rounding mode, for |x| < 2^22 (hues
// times ten, saturations and values all are). Adding and taking away 1.5 x 2^23 leaves no
// fraction bits, so the addition itself rounds; it stays inline where nearbyint is a library
// call per channel per pixel, a fifth of the render's time.
inline float RoundEven(float x) {
    constexpr float shifter = 12582912.0f;
    return (x + shifter) - shifter;
}

// Where a destination pixel takes its colour from: the four neighbours and their weights.
struct Source {
    bool inside = false;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    float wx0 = 1, wx1 = 0, wy0 = 1, wy1 = 0;
};

class Rotation {
public:
    Rotation(double angle, int width, int height)
        : width_(width), height_(height), cx_(width / 2.0f), cy_(height / 2.0f) {
        const double phi = -angle * std::numbers::pi / 180;
        s_ = float(std::sin(phi));
        c_ = float(std::cos(phi));
    }
    Source At(int x, int y) const {
        const float u = cx_ + (float(x) - cx_) * c_ - (float(y) - cy_) * s_;
        const float v = cy_ + (float(x) - cx_) * s_ + (float(y) - cy_) * c_;
        Source src;
        src.x0 = int(std::trunc(u));
        src.y0 = int(std::trunc(v));
        if (src.x0 < 0 || src.x0 > width_ - 1 || src.y0 < 0 || src.y0 > height_ - 1) return src;
        src.inside = true;
        Weights(u, src.x0, src.wx0, src.wx1);
        Weights(v, src.y0, src.wy0, src.wy1);
        // The neighbour past the last column or row is the edge itself.
        src.x1 = std::min(src.x0 + 1, width_ - 1);
        src.y1 = std::min(src.y0 + 1, height_ - 1);
        return src;
    }

private:
    static void Weights(float u, int u0, float& w0, float& w1) {
        if (u >= 0) {
            w1 = u - float(u0);
            w0 = 1 - w1;
        } else {
            w0 = float(u0) - u;
            w1 = 1 - w0;
        }
    }
    int width_, height_;
    float cx_, cy_, s_ = 0, c_ = 1;
};

// The colour of a destination pixel in 16-bit units summed by the weights, divided by 256.
struct Sample {
    bool black = true;
    float r = 0, g = 0, b = 0;
};

inline Sample SampleAt(const TTIFFBitMap& wide, const Rotation* rotation, int x, int y) {
    Sample out;
    if (!rotation) {
        out.black = false;
        out.r = float(wide.Sample(x, y, 0)) / 256;
        out.g = float(wide.Sample(x, y, 1)) / 256;
        out.b = float(wide.Sample(x, y, 2)) / 256;
        return out;
    }
    const Source src = rotation->At(x, y);
    if (!src.inside) return out;
    out.black = false;
    float sum[3] = {0, 0, 0};
    const int xs[2] = {src.x0, src.x1}, ys[2] = {src.y0, src.y1};
    const float wx[2] = {src.wx0, src.wx1}, wy[2] = {src.wy0, src.wy1};
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 2; ++i) {
            const float w = wx[i] * wy[k];
            for (int c = 0; c < 3; ++c) sum[c] += w * float(wide.Sample(xs[i], ys[k], c));
        }
    out.r = sum[0] / 256;
    out.g = sum[1] / 256;
    out.b = sum[2] / 256;
    return out;
}

// The global and per-hue shifts. False when the hue lies outside the circle (the pixel is black).
inline bool AdjustHSV(const FinalSettings& s, float& h, float& sat, float& v) {
    if (h < 0 || h > 360) return false;
    double dH = s.hue, dS = s.saturation, dV = s.lightness;
    if (s.curves) {
        const std::size_t k = std::size_t(RoundEven(h * 10));
        dS += 2.0 * s.curves->SatCurve[k];
        dH += 2.0 * s.curves->HueCurve[k];
        dV += 2.0 * s.curves->LightCurve[k];
    }
    h = float(std::clamp(h + dH, 0.0, 360.0));
    sat = float(std::clamp(sat + dS, 0.0, 255.0));
    v = float(std::clamp(v + dV, 0.0, 255.0));
    return true;
}

}  // namespace

void RenderFinal(const TTIFFBitMap& wide, int width, int height, const FinalSettings& s, Bitmap24& out,
                 std::array<int32_t, 361>& hueHistogram) {
    hueHistogram.fill(0);
    if (out.Width() != width || out.Height() != height) out.SetSize(width, height);
    if (width <= 0 || height <= 0 || !wide.HasWide || wide.Width() < width || wide.Height() < height) return;
    const Rotation rotation(s.angle, width, height);
    const Rotation* turn = s.angle != 0 ? &rotation : nullptr;
    std::mutex merge;
    ParallelRows(0, height - 1, [&](int y0, int y1) {
        std::array<int32_t, 361> local{};
        for (int y = y0; y <= y1; ++y) {
            uint8_t* row = out.Row(y);
            for (int x = 0; x < width; ++x) {
                const Sample px = SampleAt(wide, turn, x, y);
                Bgr colour{};
                if (!px.black) {
                    Hsv c = RGBtoHSV(px.r, px.g, px.b);
                    if (c.v > 100) ++local[std::size_t(std::clamp(int(RoundEven(c.h)), 0, 360))];
                    c.s *= 255;
                    if (AdjustHSV(s, c.h, c.s, c.v))
                        colour = HSVtoRGBTriple(int(RoundEven(c.h)), int(RoundEven(c.s)), int(RoundEven(c.v)));
                }
                row[3 * x] = colour.b;
                row[3 * x + 1] = colour.g;
                row[3 * x + 2] = colour.r;
            }
        }
        std::lock_guard lock(merge);
        for (std::size_t h = 0; h < local.size(); ++h) hueHistogram[h] += local[h];
    }, 32);
    out.Touch();
}

Bitmap24 FlipPicture(const Bitmap24& picture, bool flipX, bool flipY) {
    Bitmap24 out(picture.Width(), picture.Height());
    const int w = picture.Width(), h = picture.Height();
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = picture.Row(flipY ? h - 1 - y : y);
        uint8_t* dst = out.Row(y);
        if (!flipX) {
            std::copy_n(src, std::size_t(w) * 3, dst);
            continue;
        }
        for (int x = 0; x < w; ++x) std::copy_n(src + 3 * (w - 1 - x), 3, dst + 3 * x);
    }
    return out;
}

void DrawHueHistogram(Bitmap24& picture, const std::array<int32_t, 361>& bins) {
    picture.SetSize(361, 51);
    picture.Fill(Bgr{255, 255, 255});
    const int32_t most = *std::max_element(bins.begin(), bins.end());
    if (most <= 0) {
        picture.Touch();
        return;
    }
    for (int h = 0; h <= 360; ++h) {
        const int top = 50 - int(std::nearbyint(double(bins[std::size_t(h)]) / most * 50));
        for (int y = std::max(0, top); y <= 50; ++y) picture.SetPixel(h, y, Bgr{});
    }
    picture.Touch();
}

void RenderFinal16(const TTIFFBitMap& wide, int width, int height, const FinalSettings& s, TTIFFBitMap& out) {
    out.FreeWide();
    out.CreateWide(width, height);
    if (width <= 0 || height <= 0 || !wide.HasWide || wide.Width() < width || wide.Height() < height) return;
    const Rotation rotation(s.angle, width, height);
    const bool turned = s.angle != 0;
    ParallelRows(0, height - 1, [&](int y0, int y1) {
        for (int y = y0; y <= y1; ++y) {
            const int ty = s.flipY ? height - 1 - y : y;
            for (int x = 0; x < width; ++x) {
                const int tx = s.flipX ? width - 1 - x : x;
                const Sample px = SampleAt(wide, turned ? &rotation : nullptr, x, y);
                Rgb rgb{};
                if (!px.black) {
                    // A hair of red keeps greys from a saturation of exactly 0.
                    Hsv c = RGBtoHSV(px.r + 0.01f, px.g, px.b);
                    c.s *= 255;
                    const bool inside = AdjustHSV(s, c.h, c.s, c.v);
                    if (inside) {
                        // Fully desaturated is grey, not an error.
                        const float sat = turned ? c.s / 256 : c.s / 255;
                        rgb = sat > 0 ? HSVtoRGB(c.h, sat, c.v) : Rgb{c.v, c.v, c.v};
                    }
                }
                const float scale = turned ? 256.0f : 255.0f;
                const float channel[3] = {rgb.r, rgb.g, rgb.b};
                for (int c = 0; c < 3; ++c)
                    out.SetSample(tx, ty, c, uint16_t(RoundEven(std::clamp(channel[c] * scale, 0.0f, 65535.0f))));
            }
        }
    }, 32);
}

}  // namespace talvenor
