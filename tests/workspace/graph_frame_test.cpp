#include <gtest/gtest.h>

#include "workspace/graph_frame.h"

namespace talvenor {
namespace {

// The frame goes around the data: every data pixel shows unchanged at the margins' offset, the
// axis names and the legend mark only the margins, and a longer legend takes more rows.
TEST(GraphFrame, AxesAndLegendSitAroundTheDataWithoutCoveringIt) {
    Bitmap24 data(120, 80);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 120; ++x) data.SetPixel(x, y, Bgr{uint8_t(x), uint8_t(y), 200});
    const GraphAxes one{.X = "level", .Y = "count", .Legend = {{0xFF0000, "red"}}};
    GraphAxes many = one;
    for (const char* name : {"green", "blue", "low marker", "high marker"}) many.Legend.push_back({0x008000, name});

    int previousBottom = 0;
    for (const GraphAxes& axes : {one, many}) {
        const GraphMargins m = MarginsOf(axes, data.Width());
        const Bitmap24 framed = FramedGraph(data, axes);
        ASSERT_EQ(framed.Width(), m.Left + 120 + m.Right);
        ASSERT_EQ(framed.Height(), m.Top + 80 + m.Bottom);
        EXPECT_EQ(m.Left + m.Right, kGraphFrameWidth);
        EXPECT_GT(m.Bottom, previousBottom);
        previousBottom = m.Bottom;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 120; ++x) ASSERT_EQ(framed.Pixel(m.Left + x, m.Top + y), data.Pixel(x, y)) << x << "," << y;
        const auto inked = [&](int top, int bottom) {
            int n = 0;
            for (int y = top; y < bottom; ++y)
                for (int x = 0; x < framed.Width(); ++x) n += framed.Pixel(x, y) != Bgr{255, 255, 255};
            return n;
        };
        EXPECT_GT(inked(0, m.Top), 20);                         // the y axis named above
        EXPECT_GT(inked(m.Top + 82, framed.Height()), 40);      // the x axis and the legend below
    }
    EXPECT_EQ(FramedGraph(data, GraphAxes{}), data);
}

}  // namespace
}  // namespace talvenor
