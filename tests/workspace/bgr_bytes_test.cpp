// Frame rows into floats by runs of split channels: the same floats as a loop over the pixels,
// for every length (whole vector steps and the pixels left over).
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace talvenor
