#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "final/colour_model.h"

namespace talvenor {
namespace {

TEST(ColourModel, RgbToHsvOfThePrimariesAndGreys) {
    struct Case {
        float r, g, b, h, s, v;
    } cases[] = {
        {255, 0, 0, 0, 1, 255}, {0, 255, 0, 120, 1, 255}, {0, 0, 255, 240, 1, 255},
        {255, 0, 255, 300, 1, 255}, {90, 90, 90, 0, 0, 90}, {0, 0, 0, 0, 0, 0}, {200, 150, 100, 30, 0.5f, 200},
    };
    for (const Case& c : cases) {
        const Hsv x = RGBtoHSV(c.r, c.g, c.b);
        EXPECT_FLOAT_EQ(x.h, c.h) << c.r << "," << c.g << "," << c.b;
        EXPECT_FLOAT_EQ(x.s, c.s);
        EXPECT_FLOAT_EQ(x.v, c.v);
    }
}

TEST(ColourModel, HsvToRgbRoundTripsAndRefusesAHueForGrey) {
    for (float h : {0.0f, 45.0f, 100.0f, 170.0f, 230.0f, 290.0f, 359.0f}) {
        const Rgb c = HSVtoRGB(h, 0.6f, 180);
        const Hsv back = RGBtoHSV(c.r, c.g, c.b);
        EXPECT_NEAR(back.h, h, 1e-3) << h;
        EXPECT_NEAR(back.s, 0.6f, 1e-5);
        EXPECT_NEAR(back.v, 180, 1e-3);
    }
    const Rgb red = HSVtoRGB(360, 1, 255);  // 360 is 0
    EXPECT_EQ(red.r, 255);
    EXPECT_EQ(red.g, 0);
    const Rgb grey = HSVtoRGB(std::numeric_limits<float>::quiet_NaN(), 0, 77);
    EXPECT_EQ(grey.g, 77);
    // A grey's hue is 0, a value: handing it back unchanged is refused.
    const Hsv g = RGBtoHSV(90, 90, 90);
    try {
        HSVtoRGB(g.h, g.s, g.v);
        FAIL() << "no error";
    } catch (const EColorError& e) {
        EXPECT_STREQ(e.what(), "HSVtoRGB:  S = 0 and H has a value");
    }
}

TEST(ColourModel, IntegerHsvToPixel) {
    struct Case {
        int h, s, v;
        Bgr pixel;
    } cases[] = {
        {0, 255, 255, MakePixel(255, 0, 0)},   {120, 255, 255, MakePixel(0, 255, 0)},
        {359, 255, 255, MakePixel(255, 0, 5)}, {30, 128, 200, MakePixel(200, 150, 100)},
        {360, 255, 255, MakePixel(255, 0, 0)}, {77, 0, 123, MakePixel(123, 123, 123)},
        {361, 255, 255, Bgr{}},                {-10, 255, 255, Bgr{}},
    };
    for (const Case& c : cases) EXPECT_EQ(HSVtoRGBTriple(c.h, c.s, c.v), c.pixel) << c.h << " " << c.s << " " << c.v;
    EXPECT_EQ(MakePixel(1, 2, 3), (Bgr{3, 2, 1}));
}

}  // namespace
}  // namespace talvenor
