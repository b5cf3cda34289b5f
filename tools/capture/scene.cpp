#include "capture/scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "capture/prng.h"
#include "workspace/text_util.h"

namespace talvenor::capture {

namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr double kDeg = std::numbers::pi / 180.0;

// Purposes for SubSeed, so each part of a scene draws from its own stream.
enum : uint64_t { kPlanetLayout = 1, kPlanetNoise, kMoonLayout, kMoonNoise, kSunLayout, kSunNoise };

float Clamp01(float v) { return v < 0.f ? 0.f : (v > 1.f ? 1.f : v); }
float Lerp(float a, float b, float t) { return a + (b - a) * t; }
float SmoothStep(float e0, float e1, float x) {
    const float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3.f - 2.f * t);
}

struct Rgb {
    float r, g, b;
};
Rgb Mix(Rgb a, Rgb b, float t) { return {Lerp(a.r, b.r, t), Lerp(a.g, b.g, t), Lerp(a.b, b.b, t)}; }
Rgb Scale(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }

// Gradient noise on an integer lattice hashed from the seed: smooth, band-limited to about
// one cycle per lattice cell, values within about -1..1.
class Noise {
public:
    explicit Noise(uint64_t seed) : seed_(seed) {}

    float Gradient(float x, float y, uint64_t octave = 0) const {
        const float fx = std::floor(x), fy = std::floor(y);
        const int64_t ix = int64_t(fx), iy = int64_t(fy);
        const float tx = x - fx, ty = y - fy;
        const uint64_t s = seed_ + octave * 0xA24BAED4963EE407ull;
        const float n00 = Dot(Hash(s, ix, iy), tx, ty);
        const float n10 = Dot(Hash(s, ix + 1, iy), tx - 1.f, ty);
        const float n01 = Dot(Hash(s, ix, iy + 1), tx, ty - 1.f);
        const float n11 = Dot(Hash(s, ix + 1, iy + 1), tx - 1.f, ty - 1.f);
        const float u = Fade(tx), v = Fade(ty);
        return 1.4f * Lerp(Lerp(n00, n10, u), Lerp(n01, n11, u), v);
    }

    // Fractal sum of `octaves` layers, each twice the frequency and `gain` times the
    // amplitude of the one before, normalised to about -1..1.
    float Fbm(float x, float y, int octaves, float gain = 0.5f) const {
        float sum = 0.f, amp = 1.f, norm = 0.f;
        for (int o = 0; o < octaves; ++o) {
            sum += amp * Gradient(x, y, uint64_t(o));
            norm += amp;
            amp *= gain;
            x = 2.f * x + 17.31f;
            y = 2.f * y - 9.77f;
        }
        return sum / norm;
    }

private:
    static uint64_t Hash(uint64_t s, int64_t i, int64_t j) {
        return Mix64(s ^ (uint64_t(i) * 0x9E3779B97F4A7C15ull) ^ (uint64_t(j) * 0xC2B2AE3D27D4EB4Full));
    }
    static float Dot(uint64_t h, float x, float y) {
        switch (h >> 61) {
            case 0: return x + y;
            case 1: return x - y;
            case 2: return -x + y;
            case 3: return -x - y;
            case 4: return 1.41421356f * x;
            case 5: return -1.41421356f * x;
            case 6: return 1.41421356f * y;
            default: return -1.41421356f * y;
        }
    }
    static float Fade(float t) { return t * t * t * (t * (t * 6.f - 15.f) + 10.f); }
    uint64_t seed_;
};

void Store(Scene& s, std::size_t index, Rgb c) {
    if (s.channels == 3) {
        s.Plane(0)[index] = Clamp01(c.r);
        s.Plane(1)[index] = Clamp01(c.g);
        s.Plane(2)[index] = Clamp01(c.b);
    } else {
        s.Plane(0)[index] = Clamp01(0.299f * c.r + 0.587f * c.g + 0.114f * c.b);
    }
}

// ---------------------------------------------------------------------------------------
// Planet: a Jupiter-like disc seen equator-on, south at the top as in most telescopic
// views. Latitude and longitude come from an orthographic projection of the spheroid, so
// bands and spots foreshorten towards the limb the way they do on the real planet.

struct Belt {
    float lat0, lat1;  // degrees, lat0 < lat1; positive is north (the lower half)
    float strength;    // 0: zone colour, 1: full belt colour
};

struct Oval {
    float lon, lat;    // centre, degrees (longitude from the central meridian)
    float a, b;        // half-widths in longitude and latitude, degrees
    int kind;          // 0 red spot, 1 white oval, 2 dark barge
};

void RenderPlanet(Scene& s, const SceneOptions& o) {
    Rng rng(SubSeed(o.seed, kPlanetLayout));
    const Noise noise(SubSeed(o.seed, kPlanetNoise));
    const double cx = std::isnan(o.centreX) ? (o.width - 1) / 2.0 : o.centreX;
    const double cy = std::isnan(o.centreY) ? (o.height - 1) / 2.0 : o.centreY;
    const double radius = PlanetRadius(o);
    const double polar = radius * (1.0 - std::clamp(o.oblateness, 0.0, 0.5));
    const float limb = float(std::clamp(o.limbDarkening, 0.0, 1.0));

    const Rgb zone{0.93f, 0.87f, 0.75f}, equator{0.90f, 0.81f, 0.64f}, belt{0.56f, 0.39f, 0.27f};
    const Rgb polarGrey{0.50f, 0.49f, 0.50f}, sky{0.012f, 0.012f, 0.014f};
    const Rgb redSpot{0.85f, 0.55f, 0.41f}, whiteOval{0.98f, 0.96f, 0.92f}, barge{0.38f, 0.24f, 0.18f};
    const Rgb festoonColour{0.50f, 0.50f, 0.53f};

    auto jitter = [&](float v, float amount) { return v + float(rng.Uniform(-amount, amount)); };
    std::vector<Belt> belts = {
        {jitter(-1.2f, 0.3f), jitter(1.0f, 0.3f), 0.22f},    // equatorial band
        {jitter(7.0f, 0.8f), jitter(18.0f, 0.8f), 0.88f},    // north equatorial belt
        {jitter(24.0f, 0.8f), jitter(30.0f, 0.8f), 0.55f},   // north temperate belt
        {jitter(35.0f, 0.6f), jitter(39.0f, 0.6f), 0.45f},   // north north temperate belt
        {jitter(-12.5f, 0.5f), jitter(-7.5f, 0.5f), 0.90f},  // south equatorial belt, north part
        {-16.0f, -12.5f, jitter(0.5f, 0.1f)},                // its lighter middle
        {jitter(-20.5f, 0.6f), -16.0f, 0.85f},               // its south part
        {jitter(-32.5f, 0.8f), jitter(-27.0f, 0.8f), 0.60f}, // south temperate belt
        {jitter(-40.0f, 0.6f), jitter(-36.0f, 0.6f), 0.45f}, // south south temperate belt
    };
    for (Belt& b : belts) b.strength *= float(rng.Uniform(0.88, 1.08));

    std::vector<Oval> ovals;
    ovals.push_back({float(rng.Uniform(-25, 25)), jitter(-22.5f, 0.7f), jitter(12.0f, 1.0f), jitter(5.8f, 0.4f), 0});
    for (int i = 0; i < 4; ++i)
        ovals.push_back({float(rng.Uniform(-70, 70)), jitter(-31.0f, 1.2f), jitter(3.4f, 0.6f), jitter(2.4f, 0.3f), 1});
    for (int i = 0; i < 3; ++i)
        ovals.push_back({float(rng.Uniform(-65, 65)), jitter(16.3f, 0.6f), jitter(4.5f, 1.0f), jitter(1.5f, 0.2f), 2});
    struct Festoon {
        float lon, slope, width, strength;
    };
    std::vector<Festoon> festoons;
    for (int i = 0; i < 9; ++i)
        festoons.push_back({float(rng.Uniform(-80, 80)), float(rng.Uniform(0.6, 1.8)), float(rng.Uniform(0.8, 2.2)),
                            float(rng.Uniform(0.25, 0.6))});
    const float noiseLon = float(rng.Uniform(0, 1000));  // where on the noise field the face is

    auto beltWeight = [](const Belt& b, float lat) {
        const float e = 0.9f;
        return SmoothStep(b.lat0 - e, b.lat0 + e, lat) * (1.f - SmoothStep(b.lat1 - e, b.lat1 + e, lat)) * b.strength;
    };

    const int stride = s.Stride();
    const float R = float(radius);
    for (int row = 0; row < s.Rows(); ++row) {
        const double y = row - s.margin;
        const double v = (y - cy) / polar;
        for (int col = 0; col < stride; ++col) {
            const double x = col - s.margin;
            const double u = (x - cx) / radius;
            const double rr = u * u + v * v;
            const std::size_t index = std::size_t(row) * std::size_t(stride) + std::size_t(col);
            // Distance to the limb in pixels, for an anti-aliased edge one pixel wide.
            const float alpha = Clamp01(float((1.0 - std::sqrt(rr)) * radius) + 0.5f);
            if (alpha <= 0.f) {
                Store(s, index, sky);
                continue;
            }
            const float mu = float(std::sqrt(std::max(0.0, 1.0 - std::min(rr, 1.0))));
            const double sinLat = std::clamp(v, -1.0, 1.0);
            const double cosLat = std::sqrt(1.0 - sinLat * sinLat);
            const double sinLon = cosLat > 1e-6 ? std::clamp(u / cosLat, -1.0, 1.0) : 0.0;
            const float latRad = float(std::asin(sinLat)), lonRad = float(std::asin(sinLon));
            // Surface coordinates in pixels at the centre of the disc: texture lives on the
            // sphere, so it shrinks towards the limb.
            const float X = lonRad * R + noiseLon, Y = latRad * R;
            const float lonDeg = lonRad * float(180.0 / std::numbers::pi);
            // Turbulent band edges: latitude is bent by smooth noise elongated along the bands.
            const float lat = latRad * float(180.0 / std::numbers::pi) + 2.0f * noise.Fbm(X / 34.f, Y / 10.f, 4) +
                              0.7f * noise.Fbm(X / 8.f, Y / 5.f, 2);

            Rgb c = Mix(zone, equator, 1.f - SmoothStep(4.f, 9.f, std::fabs(lat)));
            float beltAmount = 0.f;
            for (const Belt& b : belts) beltAmount = std::max(beltAmount, beltWeight(b, lat));
            const float polarAmount = SmoothStep(41.f, 60.f, std::fabs(lat));
            c = Mix(c, belt, beltAmount);
            c = Mix(c, polarGrey, 0.75f * polarAmount);

            // Zonal streaks and small-scale turbulence, stronger in the belts.
            const float streak = noise.Fbm(X / 45.f, Y / 4.5f, 3, 0.55f);
            const float fine = noise.Fbm(X / 7.f, Y / 7.f, 3, 0.6f);
            const float mottled = noise.Fbm(X / 3.f, Y / 3.f, 2);
            float k = 1.f + (0.07f + 0.16f * beltAmount) * streak + (0.05f + 0.09f * beltAmount) * fine +
                      (0.03f + 0.05f * polarAmount) * mottled;

            // Festoons: dark blue-grey plumes hanging from the north equatorial belt.
            for (const Festoon& f : festoons) {
                if (lat < 0.f || lat > 9.f) break;
                const float drop = 8.f - lat;
                const float along = (lonDeg - f.lon + f.slope * drop + 0.08f * drop * drop) / f.width;
                const float w = std::exp(-along * along) * SmoothStep(0.5f, 5.f, lat) * (1.f - beltAmount);
                c = Mix(c, festoonColour, f.strength * w * (0.8f + 0.4f * fine));
            }

            for (const Oval& ov : ovals) {
                const float dl = (lonDeg - ov.lon) / ov.a, db = (lat - ov.lat) / ov.b;
                const float e2 = dl * dl + db * db;
                if (e2 > 5.0f) continue;
                const float e = std::sqrt(e2);
                if (ov.kind == 0) {
                    // Red spot: a pale hollow in the belt around it, a darker rim, a lighter core.
                    const float hollow = SmoothStep(2.1f, 1.15f, e) * (1.f - SmoothStep(1.05f, 0.95f, e));
                    c = Mix(c, Scale(zone, 1.02f), 0.85f * hollow);
                    const float inside = SmoothStep(1.05f, 0.9f, e);
                    const float swirl = noise.Fbm(X / 6.f + 3.f * e, Y / 6.f - 2.f * e, 3);
                    const Rgb core = Mix(Scale(redSpot, 0.92f), Scale(redSpot, 1.08f), SmoothStep(0.75f, 0.2f, e));
                    c = Mix(c, core, inside);
                    k *= 1.f + inside * 0.08f * swirl;
                    k *= 1.f - 0.12f * std::exp(-(e - 0.88f) * (e - 0.88f) / 0.006f);
                } else if (ov.kind == 1) {
                    c = Mix(c, whiteOval, SmoothStep(1.0f, 0.7f, e));
                    k *= 1.f - 0.25f * std::exp(-(e - 1.12f) * (e - 1.12f) / 0.02f);
                } else {
                    c = Mix(c, barge, SmoothStep(1.0f, 0.6f, e));
                }
            }

            const float darkening = 1.f - limb * (1.f - mu);
            c = Scale(c, k * darkening * 0.9f);
            Store(s, index, Mix(sky, c, alpha));
        }
    }
}

// ---------------------------------------------------------------------------------------
// Moon: a height field of craters of every size (many small, few large, as on the real
// surface), maria as darker, smoother, less cratered regions, and fine relief; lit by a low
// sun from the right that sets at a slightly curved terminator near the left edge, with
// cast shadows.

void RenderMoon(Scene& s, const SceneOptions& o) {
    Rng rng(SubSeed(o.seed, kMoonLayout));
    const Noise noise(SubSeed(o.seed, kMoonNoise));
    const int W = s.Stride(), H = s.Rows(), m = s.margin;
    const std::size_t n = std::size_t(W) * std::size_t(H);
    std::vector<float> height(n), albedo(n), mare(n);
    const float side = float(std::min(o.width, o.height));
    const float mareScale = side * 0.45f;
    const float ox = float(rng.Uniform(0, 500)), oy = float(rng.Uniform(0, 500));

    for (int row = 0; row < H; ++row) {
        for (int col = 0; col < W; ++col) {
            const float x = float(col - m), y = float(row - m);
            const std::size_t i = std::size_t(row) * std::size_t(W) + std::size_t(col);
            const float mf = SmoothStep(0.05f, 0.22f, noise.Fbm(x / mareScale + ox, y / mareScale + oy, 4, 0.55f));
            mare[i] = mf;
            const float highland =
                0.60f + 0.07f * noise.Fbm(x / 50.f, y / 50.f, 4) + 0.05f * noise.Fbm(x / 9.f, y / 9.f, 2);
            const float sea =
                0.32f + 0.04f * noise.Fbm(x / 80.f, y / 80.f, 3) + 0.02f * noise.Fbm(x / 12.f, y / 12.f, 2);
            albedo[i] = Lerp(highland, sea, mf) + 0.025f * noise.Gradient(x / 1.6f, y / 1.6f, 40);
            const float relief = 7.f * noise.Fbm(x / 110.f, y / 110.f, 5, 0.5f) * (1.f - 0.8f * mf) - 2.5f * mf;
            height[i] = relief + (0.45f - 0.3f * mf) * noise.Fbm(x / 3.2f, y / 3.2f, 3, 0.6f);
        }
    }

    // One crater added to the height field: a bowl (or, when large, a flat floor with
    // terraced walls and a central peak) inside a raised rim whose ejecta blanket falls off
    // with the cube of the distance. `scale` makes it deeper (fresh) or shallower (eroded).
    auto stamp = [&](float cxs, float cys, float r, float scale, bool bright) {
        const bool complex = r > 12.f;
        const float depth = (complex ? 0.2f * std::sqrt(12.f * r) : 0.2f * r) * scale;
        const float rim = 0.3f * depth;
        const float reach = 2.5f * r;
        const int x0 = std::max(0, int(cxs - reach)), x1 = std::min(W - 1, int(cxs + reach) + 1);
        const int y0 = std::max(0, int(cys - reach)), y1 = std::min(H - 1, int(cys + reach) + 1);
        const float outerNorm = 1.f / (1.f - 1.f / 15.625f);
        for (int yy = y0; yy <= y1; ++yy) {
            float* hrow = height.data() + std::size_t(yy) * std::size_t(W);
            float* arow = albedo.data() + std::size_t(yy) * std::size_t(W);
            const float dy = (float(yy) - cys) / r;
            for (int xx = x0; xx <= x1; ++xx) {
                const float dx = (float(xx) - cxs) / r;
                const float d2 = dx * dx + dy * dy;
                if (d2 >= 6.25f) continue;
                const float d = std::sqrt(d2);
                float h;
                if (d < 1.f) {
                    if (complex) {
                        const float t = SmoothStep(0.45f, 1.f, d);
                        h = rim - depth * (1.f - t) + 0.35f * depth * std::exp(-d2 / 0.012f);
                    } else {
                        h = rim - depth * (1.f - d2);
                    }
                } else {
                    const float inv = 1.f / d;
                    h = rim * (inv * inv * inv - 1.f / 15.625f) * outerNorm;
                }
                hrow[xx] += h;
                if (bright) arow[xx] += 0.12f * std::exp(-std::fabs(d - 1.f) * 1.6f);
            }
        }
    };

    // A few large fresh craters in the lit part of the frame, the landmarks of a terminator
    // view, then the crowd: largest (oldest) first, each size octave covering about a quarter
    // of the area, so the highlands end up saturated with overlapping craters, as they are.
    const int landmarks = 2 + int(rng.Below(3));
    for (int i = 0; i < landmarks; ++i) {
        const float r = side * float(rng.Uniform(0.06, 0.13));
        const float cxs = float(m) + float(rng.Uniform(0.3, 0.9)) * float(o.width);
        const float cys = float(m) + float(rng.Uniform(0.1, 0.9)) * float(o.height);
        stamp(cxs, cys, r, 1.7f, false);
    }
    const float rMin = 1.3f, rMax = std::max(3.f, side * 0.2f);
    const int octaves = std::max(1, int(std::ceil(std::log2(rMax / rMin))));
    for (int oct = octaves - 1; oct >= 0; --oct) {
        const float lo = rMin * std::exp2(float(oct));
        const float mid = lo * 1.41421356f;
        const int count = int(0.27f * float(n) / (kPi * mid * mid)) + 1;
        for (int c = 0; c < count; ++c) {
            const float r = lo * std::exp2(float(rng.Uniform()));
            const float cxs = float(rng.Uniform(-2.0 * r, W + 2.0 * r));
            const float cys = float(rng.Uniform(-2.0 * r, H + 2.0 * r));
            const double keep = rng.Uniform();
            const double age = rng.Uniform();
            const double rays = rng.Uniform();
            const int icx = std::clamp(int(cxs), 0, W - 1), icy = std::clamp(int(cys), 0, H - 1);
            const float mf = mare[std::size_t(icy) * std::size_t(W) + std::size_t(icx)];
            // Maria are young lava plains: few craters, and large ones were flooded.
            if (keep > 1.0 - 0.85 * mf) continue;
            const float soften = age < 0.45 ? float(0.35 + age) : 1.f;  // eroded older craters
            stamp(cxs, cys, r, soften, rays > 0.96 && r > 2.5f);
        }
    }

    // Sun from the right (+x). Its elevation grows from 0 at the terminator to about 28
    // degrees at the right edge of the frame.
    const float termX = float(rng.Uniform(0.06, 0.16)) * o.width;
    const float bow = float(rng.Uniform(0.2, 0.5)) / float(o.height);
    const float elevPerPixel = float(28.0 * kDeg) / std::max(1.f, float(o.width) - termX);
    const float gain = 1.75f;
    const Rgb highlandTint{1.02f, 0.99f, 0.95f}, mareTint{0.95f, 0.97f, 1.02f};
    for (int row = 0; row < H; ++row) {
        const float y = float(row - m);
        const float yc = y - 0.5f * float(o.height);
        const float edge = termX + bow * yc * yc;
        float horizon = -1e30f;
        const float* hrow = height.data() + std::size_t(row) * std::size_t(W);
        const float* up = height.data() + std::size_t(std::max(row - 1, 0)) * std::size_t(W);
        const float* down = height.data() + std::size_t(std::min(row + 1, H - 1)) * std::size_t(W);
        for (int col = W - 1; col >= 0; --col) {
            const float x = float(col - m);
            const std::size_t i = std::size_t(row) * std::size_t(W) + std::size_t(col);
            const float elev = (x - edge) * elevPerPixel;
            float light;
            if (elev <= 0.f) {
                light = 0.004f;  // night side: a trace of earthshine
                horizon = -1e30f;
            } else {
                const float t = std::tan(elev);
                const float h = hrow[col];
                const float shadowLine = horizon - t;
                float lit = 1.f;
                if (h >= shadowLine) {
                    horizon = h;
                } else {
                    horizon = shadowLine;
                    lit = Clamp01(1.f - (shadowLine - h) / std::max(t, 1e-3f));
                }
                const float gx = 0.5f * (hrow[std::min(col + 1, W - 1)] - hrow[std::max(col - 1, 0)]);
                const float gy = 0.5f * (down[col] - up[col]);
                const float dot = (-gx * std::cos(elev) + std::sin(elev)) / std::sqrt(gx * gx + gy * gy + 1.f);
                light = gain * std::max(dot, 0.f) * lit + 0.02f * (1.f - lit);
            }
            const float v = albedo[i] * light;
            const Rgb tint = Mix(highlandTint, mareTint, mare[i]);
            Store(s, i, {v * tint.r, v * tint.g, v * tint.b});
        }
    }
}

// ---------------------------------------------------------------------------------------
// Sun: granulation (bright convection cells parted by dark lanes) with a sunspot.

void RenderSun(Scene& s, const SceneOptions& o) {
    Rng rng(SubSeed(o.seed, kSunLayout));
    const Noise noise(SubSeed(o.seed, kSunNoise));
    const uint64_t cellSeed = SubSeed(o.seed, kSunNoise, 1);
    const float cell = std::max(6.f, std::min(o.width, o.height) / 34.f);
    const float spotX = float(rng.Uniform(0.4, 0.65)) * o.width, spotY = float(rng.Uniform(0.35, 0.65)) * o.height;
    const float umbra = 0.07f * std::min(o.width, o.height), penumbra = 2.3f * umbra;
    const Rgb tint{1.0f, 0.86f, 0.62f};

    auto feature = [&](int64_t i, int64_t j, float& fx, float& fy, float& bright) {
        const uint64_t h =
            Mix64(cellSeed ^ (uint64_t(i) * 0x9E3779B97F4A7C15ull) ^ (uint64_t(j) * 0xD1B54A32D192ED03ull));
        fx = (float(i) + float(h & 0xFFFF) / 65536.f) * cell;
        fy = (float(j) + float((h >> 16) & 0xFFFF) / 65536.f) * cell;
        bright = 0.85f + 0.3f * float((h >> 32) & 0xFFFF) / 65536.f;
    };

    for (int row = 0; row < s.Rows(); ++row) {
        for (int col = 0; col < s.Stride(); ++col) {
            const float x = float(col - s.margin), y = float(row - s.margin);
            // Cells are distorted by smooth noise so they are not a visible lattice.
            const float wx = x + 0.5f * cell * noise.Fbm(x / (2.f * cell), y / (2.f * cell), 2);
            const float wy = y + 0.5f * cell * noise.Fbm(x / (2.f * cell) + 40.f, y / (2.f * cell), 2);
            const int64_t ci = int64_t(std::floor(wx / cell)), cj = int64_t(std::floor(wy / cell));
            float f1 = 1e9f, f2 = 1e9f, b1 = 1.f;
            for (int64_t j = cj - 1; j <= cj + 1; ++j) {
                for (int64_t i = ci - 1; i <= ci + 1; ++i) {
                    float fx, fy, b;
                    feature(i, j, fx, fy, b);
                    const float d = std::hypot(wx - fx, wy - fy);
                    if (d < f1) {
                        f2 = f1;
                        f1 = d;
                        b1 = b;
                    } else if (d < f2) {
                        f2 = d;
                    }
                }
            }
            const float lane = SmoothStep(0.f, 0.6f * cell, f2 - f1);
            float v = (0.5f + 0.32f * lane * b1 - 0.1f * f1 / cell) *
                          (1.f + 0.07f * noise.Fbm(x / 90.f, y / 90.f, 2)) +
                      0.02f * noise.Gradient(x / 1.8f, y / 1.8f, 30);
            const float r = std::hypot(x - spotX, (y - spotY) * 1.15f);
            if (r < penumbra + 2.f) {
                const float angle = std::atan2(y - spotY, x - spotX);
                // Penumbral filaments: narrow across, long in the radial direction.
                const float filaments = 0.5f + 0.2f * noise.Fbm(angle * penumbra / 4.f, r / 22.f, 3);
                const float dots = 0.13f + 0.04f * noise.Fbm(x / 3.f, y / 3.f, 2);
                const float edgeP = penumbra * (1.f + 0.06f * noise.Fbm(angle * 3.f, 0.f, 2));
                v = Lerp(v, filaments, SmoothStep(edgeP + 1.5f, edgeP - 1.5f, r));
                v = Lerp(v, dots, SmoothStep(umbra + 1.2f, umbra - 1.2f, r));
            }
            v *= 0.85f;
            const std::size_t i = std::size_t(row) * std::size_t(s.Stride()) + std::size_t(col);
            Store(s, i, {v * tint.r, v * tint.g, v * tint.b});
        }
    }
}

}  // namespace

std::optional<SceneMode> ParseSceneMode(std::string_view text) {
    const std::string t = ToLower(text);
    if (t == "planet") return SceneMode::Planet;
    if (t == "moon") return SceneMode::Moon;
    if (t == "sun") return SceneMode::Sun;
    return std::nullopt;
}

std::string SceneModeName(SceneMode mode) {
    switch (mode) {
        case SceneMode::Planet: return "planet";
        case SceneMode::Moon: return "moon";
        case SceneMode::Sun: return "sun";
    }
    return "planet";
}

void Scene::Allocate(int w, int h, int m, int ch) {
    width = w;
    height = h;
    margin = m;
    channels = ch;
    data.assign(PlaneSize() * std::size_t(ch), 0.f);
}

namespace {

// Index i of a row or column folded into 0 .. n - 1 by mirrors at both ends (the edge itself
// not repeated), however far outside it lies.
int Mirror(int i, int n) {
    if (n == 1) return 0;
    const int period = 2 * (n - 1);
    i %= period;
    if (i < 0) i += period;
    return i < n ? i : period - i;
}

}  // namespace

Scene PadScene(const Scene& scene, int margin) {
    if (margin <= scene.margin) return scene;
    Scene padded;
    padded.Allocate(scene.width, scene.height, margin, scene.channels);
    const int grow = margin - scene.margin, stride = padded.Stride();
    std::vector<int> columns(static_cast<std::size_t>(stride));
    for (int x = 0; x < stride; ++x) columns[std::size_t(x)] = Mirror(x - grow, scene.Stride());
    for (int c = 0; c < scene.channels; ++c)
        for (int y = 0; y < padded.Rows(); ++y) {
            const int row = Mirror(y - grow, scene.Rows());
            const float* src = scene.Plane(c) + std::size_t(row) * std::size_t(scene.Stride());
            float* dst = padded.Plane(c) + std::size_t(y) * std::size_t(stride);
            for (int x = 0; x < stride; ++x) dst[x] = src[columns[std::size_t(x)]];
        }
    return padded;
}

double PlanetRadius(const SceneOptions& o) { return o.radius > 0 ? o.radius : 0.3 * std::min(o.width, o.height); }

double ObjectSize(const SceneOptions& o) {
    return o.mode == SceneMode::Planet ? 2 * PlanetRadius(o) : double(std::min(o.width, o.height));
}

Scene MakeScene(const SceneOptions& o) {
    Scene s;
    s.Allocate(std::max(1, o.width), std::max(1, o.height), std::max(0, o.margin), o.colour ? 3 : 1);
    switch (o.mode) {
        case SceneMode::Planet: RenderPlanet(s, o); break;
        case SceneMode::Moon: RenderMoon(s, o); break;
        case SceneMode::Sun: RenderSun(s, o); break;
    }
    return s;
}

Scene ToGrey(const Scene& scene) {
    if (scene.channels == 1) return scene;
    Scene grey;
    grey.Allocate(scene.width, scene.height, scene.margin, 1);
    const float *r = scene.Plane(0), *g = scene.Plane(1), *b = scene.Plane(2);
    float* out = grey.Plane(0);
    for (std::size_t i = 0; i < scene.PlaneSize(); ++i) out[i] = 0.299f * r[i] + 0.587f * g[i] + 0.114f * b[i];
    return grey;
}

}  // namespace talvenor::capture
