#include <gtest/gtest.h>

#include "input/deinterlace.h"

namespace talvenor {
namespace {

// Rows (or columns) numbered by their value, so each average is easy to see.
Bitmap24 Lines(int width, int height, bool byColumn) {
    Bitmap24 b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t v = uint8_t(10 * (byColumn ? x : y) + 1);
            b.SetPixel(x, y, Bgr{v, v, v});
        }
    return b;
}

TEST(Deinterlace, EachFieldRebuildsTheOtherFieldsLinesFromTheirNeighbours) {
    // Four rows: field 0 rewrites row 1 only (row 3 is the last), field 1 row 2 only.
    const struct {
        int field;
        bool horizontal;
        std::vector<int> expected;  // row (or column) values afterwards
    } cases[] = {
        {0, false, {1, 11, 21, 31}},  // row 1 = (1 + 21) / 2 = 11: unchanged values, since rows are linear
        {1, false, {1, 11, 21, 31}},
        {0, true, {1, 11, 21, 31}},
    };
    for (const auto& c : cases) {
        Bitmap24 b = Lines(4, 4, c.horizontal);
        // Make the rewritten line differ from its neighbours' average, so a change shows.
        const int line = c.field == 0 ? 1 : 2;
        for (int i = 0; i < 4; ++i) {
            if (c.horizontal) b.SetPixel(line, i, Bgr{200, 200, 200});
            else b.SetPixel(i, line, Bgr{200, 200, 200});
        }
        Deinterlace(b, c.field, c.horizontal, 4, 4);
        for (int k = 0; k < 4; ++k) {
            const Bgr p = c.horizontal ? b.Pixel(k, 2) : b.Pixel(2, k);
            EXPECT_EQ(p.g, c.expected[std::size_t(k)]) << "field " << c.field << " line " << k;
        }
    }
    // Averages round down, per byte channel.
    Bitmap24 b(1, 3);
    b.SetPixel(0, 0, Bgr{0, 1, 255});
    b.SetPixel(0, 2, Bgr{1, 2, 254});
    Deinterlace(b, 0, false, 1, 3);
    EXPECT_EQ(b.Pixel(0, 1), (Bgr{0, 1, 254}));
    // The last row is never written, whatever its parity.
    Bitmap24 two = Lines(2, 2, false);
    Deinterlace(two, 0, false, 2, 2);
    EXPECT_EQ(two.Pixel(0, 1).g, 11);
}

}  // namespace
}  // namespace talvenor
