// The one mapping of library-read samples to the 16-bit scale, shared by TIFF, PNG and FITS.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "imagefiles/decoded_image.h"

namespace talvenor {
namespace {

TEST(DecodedImage, IntegerSamplesReachTheSixteenBitScale) {
    const struct {
        int64_t value;
        int bits;
        bool isSigned;
        uint16_t want;
    } cases[] = {
        {1, 1, false, 255 << 8},        {3, 2, false, 255 << 8},     {5, 4, false, 85 << 8},
        {200, 8, false, 200 << 8},      {-128, 8, true, 0},          {127, 8, true, 255 << 8},
        {4095, 12, false, 0xFFF0},      {-32768, 16, true, 0},       {0, 16, true, 32768},
        {0xFFFFFFFF, 32, false, 65535}, {-1, 32, true, 0x7FFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IntegerTo16(c.value, c.bits, c.isSigned), c.want) << c.value << " of " << c.bits << " bits";
}

TEST(DecodedImage, FloatsAreFullScaleLevelsOrStretchedAndSaySo) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        std::vector<double> values;
        std::vector<uint16_t> want;
        const char* note;  // empty: none
    } cases[] = {
        {{0.0, 0.5, 1.0}, {0, 32768, 65535}, ""},
        {{0.0, 1234.4, 60000.0}, {0, 1234, 60000}, "floating-point data 0 .. 60000 taken as 16-bit levels"},
        {{-2.0, 0.0, 2.0, nan}, {0, 32768, 65535, 0}, "floating-point data -2 .. 2 stretched to full scale"},
        {{0.0, 70000.0}, {0, 65535}, "floating-point data 0 .. 70000 stretched to full scale"},
    };
    for (const auto& c : cases) {
        DecodedImage image;
        std::vector<uint16_t> out(c.values.size());
        FloatsTo16(c.values, out, image);
        EXPECT_EQ(out, c.want) << c.note;
        EXPECT_EQ(image.Notes.empty() ? std::string() : image.Notes.back(), c.note);
    }
}

}  // namespace
}  // namespace talvenor
