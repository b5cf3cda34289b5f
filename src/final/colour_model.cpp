#include "final/colour_model.h"

#include <algorithm>
#include <cmath>

namespace talvenor {

Hsv RGBtoHSV(float red, float green, float blue) {
    const double r = red, g = green, b = blue;
    const double lo = std::min({r, g, b}), v = std::max({r, g, b});
    const double delta = v - lo;
    Hsv out;
    out.v = float(v);
    const double s = v == 0 ? 0 : delta / v;
    out.s = float(s);
    if (s == 0) return out;
    double h;
    if (r == v) h = (g - b) * 60 / delta;
    else if (g == v) h = (b - r) * 60 / delta + 120;
    else h = (r - g) * 60 / delta + 240;
    if (h < 0) h += 360;
    out.h = float(h);
    return out;
}

Rgb HSVtoRGB(float h, float s, float v) {
    if (s == 0) {
        if (std::isnan(h)) return {v, v, v};
        throw EColorError("HSVtoRGB:  S = 0 and H has a value");
    }
    if (h == 360) h = 0;
    const float sector = h / 60.0f;
    const int i = int(std::trunc(sector));
    const float f = sector - float(i);
    const float p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i) {
        case 0: return {v, t, p};
        case 1: return {q, v, p};
        case 2: return {p, v, t};
        case 3: return {p, q, v};
        case 4: return {t, p, v};
        case 5: return {v, p, q};
        default: return {};  // a hue beyond the circle: nothing defined
    }
}

Bgr HSVtoRGBTriple(int h, int s, int v) {
    const auto byte = [](int x) { return uint8_t(x); };
    if (s == 0) return MakePixel(byte(v), byte(v), byte(v));
    if (h == 360) h = 0;
    if (h < 0 || h > 360) return Bgr{};
    const int sector = h / 60, f = h % 60, sv = s * v;
    const int p = v - sv / 255;
    const int q = v - (sv * f) / 15300;
    const int t = v - ((60 - f) * sv) / 15300;
    switch (sector) {
        case 0: return MakePixel(byte(v), byte(t), byte(p));
        case 1: return MakePixel(byte(q), byte(v), byte(p));
        case 2: return MakePixel(byte(p), byte(v), byte(t));
        case 3: return MakePixel(byte(p), byte(q), byte(v));
        case 4: return MakePixel(byte(t), byte(p), byte(v));
        case 5: return MakePixel(byte(v), byte(p), byte(q));
        default: return Bgr{};
    }
}

}  // namespace talvenor
