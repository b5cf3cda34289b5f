// Frame rows into floats by runs of split channels: the same floats as a loop over the pixels,
// for every length (whole vector steps and the pixels left over).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "workspace/bgr_bytes.h"

namespace talvenor {
namespace {

TEST(BgrBytes, SplitAndWeighedRowsEqualAPixelLoop) {
    std::vector<uint8_t> row(3 * 200);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = uint8_t((i * 97 + 13) % 251);
    const float wr = 0.299f, wg = 0.587f, wb = 0.114f;
    for (const int n : {0, 1, 15, 16, 17, 47, 64, 65, 200}) {
        SCOPED_TRACE(n);
        uint8_t b[kBgrRun], g[kBgrRun], r[kBgrRun];
        const int m = std::min(n, kBgrRun);
        SplitBgr(row.data(), m, b, g, r);
        for (int i = 0; i < m; ++i)
            ASSERT_TRUE(b[i] == row[3 * i] && g[i] == row[3 * i + 1] && r[i] == row[3 * i + 2]) << i;
        for (const bool greenFirst : {false, true}) {
            std::vector<float> out(std::size_t(n) + 1, -1.0f);
            WeighBgrRow(row.data(), n, wr, wg, wb, greenFirst, out.data());
            for (int i = 0; i < n; ++i) {
                const float blue = row[3 * i], green = row[3 * i + 1], red = row[3 * i + 2];
                const float want = greenFirst ? green * wg + red * wr + blue * wb : red * wr + green * wg + blue * wb;
                ASSERT_EQ(out[std::size_t(i)], want) << i;
            }
            EXPECT_EQ(out[std::size_t(n)], -1.0f);  // nothing written past the row
        }
    }
}

// A monochrome frame held as its grey bytes reads as the picture spread over blue, green and red
// (rows, pixels, equality, copies, moves, several readers at once), and the row helpers give
// from the grey bytes the very floats they give from the spread rows. A change through the
// non-const accessors ends the grey holding.
TEST(BgrBytes, GreyHeldFramesReadAsTheirSpreadPicture) {
    const int w = 83, h = 5;
    Bitmap24 grey;
    grey.SetGreySize(w, h);
    Bitmap24 spread(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t v = uint8_t((x * 31 + y * 7) % 256);
            grey.GreyRowToFill(y)[x] = v;
            spread.SetPixel(x, y, Bgr{v, v, v});
        }
    const Bitmap24 copy = grey;
    ASSERT_TRUE(copy.HoldsGrey());
    std::vector<std::thread> readers;
    for (int k = 0; k < 3; ++k) readers.emplace_back([&copy] { (void)copy.Pixel(82, 4); });
    for (std::thread& t : readers) t.join();
    EXPECT_TRUE(copy == spread);
    EXPECT_EQ(grey.Pixel(5, 2), spread.Pixel(5, 2));

    const float wr = 0.299f, wg = 0.587f, wb = 0.114f;
    for (const auto& [x, n] : {std::pair{0, 83}, {3, 64}, {17, 66}, {80, 3}}) {
        SCOPED_TRACE(std::to_string(x) + " " + std::to_string(n));
        std::vector<float> a(3 * std::size_t(n), 1.0f), b = a;
        for (const bool greenFirst : {false, true}) {
            WeighPictureRow(grey, 2, x, n, wr, wg, wb, greenFirst, a.data());
            WeighPictureRow(spread, 2, x, n, wr, wg, wb, greenFirst, b.data());
            ASSERT_EQ(a, b);
        }
        AddGreyMixPictureRow(grey, 3, x, n, wr, wg, wb, a.data());
        AddGreyMixPictureRow(spread, 3, x, n, wr, wg, wb, b.data());
        ASSERT_EQ(a, b);
        AddPictureRow(grey, 1, x, n, a.data(), a.data() + n, a.data() + 2 * n);
        AddPictureRow(spread, 1, x, n, b.data(), b.data() + n, b.data() + 2 * n);
        ASSERT_EQ(a, b);
        SplitPictureRow(grey, 4, x, n, a.data(), a.data() + n, a.data() + 2 * n);
        SplitPictureRow(spread, 4, x, n, b.data(), b.data() + n, b.data() + 2 * n);
        ASSERT_EQ(a, b);
    }

    Bitmap24 moved = std::move(grey);
    EXPECT_TRUE(moved.HoldsGrey() && !grey.HoldsGrey() && grey.Empty());
    moved.Row(0)[0] = 1;  // a change: the grey bytes no longer tell the picture
    EXPECT_FALSE(moved.HoldsGrey());
    EXPECT_EQ(moved.Pixel(0, 0), (Bgr{1, 0, 0}));
    EXPECT_EQ(moved.Pixel(1, 0), spread.Pixel(1, 0));
}

}  // namespace
}  // namespace talvenor
