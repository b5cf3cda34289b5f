#pragma once
// Conversions between red, green, blue and hue, saturation, value for the Final page's colour
// work: a floating-point pair for precise rendering and an integer one for the display.
#include <cstdint>
#include <stdexcept>

#include "workspace/bitmap24.h"

namespace talvenor {

// HSVtoRGB was asked to give a hue to a grey.
class EColorError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Hsv {
    float h = 0, s = 0, v = 0;  // hue in degrees (0 for greys), saturation 0..1, value as R, G, B
};
struct Rgb {
    float r = 0, g = 0, b = 0;
};

// Hue 0 .. 360 (0 when the colour has no saturation), saturation 0 .. 1, value = the largest
// component.
Hsv RGBtoHSV(float r, float g, float b);

// The inverse. A NaN hue with S = 0 gives the grey V; a saturation of 0 with a defined hue throws
// EColorError("HSVtoRGB:  S = 0 and H has a value"). A hue of 360 counts as 0.
Rgb HSVtoRGB(float h, float s, float v);

// Integer HSV (hue in degrees, saturation and value 0 .. 255) to a pixel, with the divisions
// truncating; a hue outside 0 .. 360 gives black.
Bgr HSVtoRGBTriple(int h, int s, int v);

// A pixel from red, green and blue bytes.
constexpr Bgr MakePixel(uint8_t r, uint8_t g, uint8_t b) { return Bgr{b, g, r}; }

}  // namespace talvenor
