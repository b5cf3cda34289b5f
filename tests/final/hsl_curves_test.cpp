// The hue, saturation and lightness curves: their editing rules, the table the render reads,
// and the graph they are drawn in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "final/hsl_curves.h"
#include "workspace/canvas.h"

namespace talvenor {
namespace {

TBSpline StartCurve() {
    TBSpline s;
    ResetHslSpline(s);
    return s;
}

// A drag as the mouse makes it: from (fromX, fromY) to (toX, toY) one pixel at a time, so a
// point that follows stays under the pointer.
void Drag(TBSpline& s, int fromX, int fromY, int toX, int toY) {
    const int steps = std::max({std::abs(toX - fromX), std::abs(toY - fromY), 1});
    for (int i = 1; i <= steps; ++i)
        DragHslPoint(s, fromX + (toX - fromX) * i / steps, fromY + (toY - fromY) * i / steps);
}

float Entry(const HslTable& t, double hue) { return t[std::size_t(std::lrint(hue * 10))]; }

TEST(HslCurves, StartCurveIsNeutralAndGivesAZeroTable) {
    TBSpline s = StartCurve();
    ASSERT_EQ(s.PointCount(), 9);
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(s.GetPoint(i), std::make_pair(45.0f * float(i - 1), 50.0f)) << i;
    HslTable t;
    t.fill(99);
    TableFromCurve(s, t);
    for (float v : t) ASSERT_NEAR(v, 0, 1e-4);
}

TEST(HslCurves, DraggingEitherEndMovesBothEndsVertically) {
    struct Case {
        const char* what;
        int fromX, fromY, toX, toY;
        float endY;  // both ends' height afterwards
    } cases[] = {
        {"first point up", 0, 50, 3, 0, 0},
        {"first point, pointer left of the graph", 0, 50, -20, 80, 80},
        {"last point down, pointer right of the graph", 360, 50, 400, 100, 100},
        {"last point, pointer below the graph", 360, 50, 355, 130, 100},
        {"pointer more than 10 pixels from every point", 20, 50, 20, 10, 50},
        {"pointer 10 pixels off is not near enough", 10, 50, 10, 10, 50},
    };
    for (const Case& c : cases) {
        TBSpline s = StartCurve();
        Drag(s, c.fromX, c.fromY, c.toX, c.toY);
        EXPECT_EQ(s.GetPoint(1), std::make_pair(0.0f, c.endY)) << c.what;
        EXPECT_EQ(s.GetPoint(9), std::make_pair(360.0f, c.endY)) << c.what;
        for (int i = 2; i <= 8; ++i) EXPECT_EQ(s.GetPoint(i), std::make_pair(45.0f * float(i - 1), 50.0f)) << c.what;
    }
    TBSpline s = StartCurve();
    EXPECT_TRUE(DragHslPoint(s, 2, 45));
    EXPECT_FALSE(DragHslPoint(s, 30, 50));  // nothing near the pointer
}

TEST(HslCurves, RaisedEndsFillBothEndsOfTheTableAndFadeTowardsTheNeighbours) {
    TBSpline s = StartCurve();
    Drag(s, 0, 50, 0, 0);
    ASSERT_EQ(s.GetPoint(9).second, 0);
    HslTable t{};
    TableFromCurve(s, t);
    EXPECT_NEAR(Entry(t, 0), 50, 1e-3);
    EXPECT_NEAR(Entry(t, 360), 50, 1e-3);
    // Less and less towards 45 and 315 (where the curve is back on the neutral line), the
    // same on both sides of the circle.
    for (double h = 0; h < 44; h += 2) {
        EXPECT_GT(Entry(t, h), Entry(t, h + 2)) << h;
        EXPECT_NEAR(Entry(t, h), Entry(t, 360 - h), 1e-2) << h;
    }
    EXPECT_NEAR(Entry(t, 45), 0, 1e-3);
    EXPECT_NEAR(Entry(t, 315), 0, 1e-3);
    // The interpolating curve swings a little past the line beyond the next point and settles.
    EXPECT_LT(std::fabs(Entry(t, 180)), 1.0f);
}

TEST(HslCurves, InteriorPointsKeepFifteenPixelsFromTheirNeighbours) {
    struct Case {
        const char* what;
        int toX, toY;  // the point at (90, 50), between 45 and 135, dragged there
        float endX, endY;
    } cases[] = {
        {"well inside the gap", 97, 20, 97, 20},
        {"just over 15 from the left neighbour", 61, 20, 61, 20},
        {"onto the 15-pixel limit on the left", 60, 20, 61, 20},
        {"past the limit on the left", 52, 20, 61, 20},
        {"just under 15 from the right neighbour", 119, 20, 119, 20},
        {"onto the 15-pixel limit on the right", 120, 30, 119, 30},
        {"up and down only", 90, 100, 90, 100},
        {"below the graph", 90, 140, 90, 100},
    };
    for (const Case& c : cases) {
        TBSpline s = StartCurve();
        Drag(s, 90, 50, c.toX, c.toY);
        // Held back sideways, the point still follows the pointer up and down.
        EXPECT_EQ(s.GetPoint(3), std::make_pair(c.endX, c.endY)) << c.what;
        EXPECT_EQ(s.PointCount(), 9) << c.what;
        for (int i = 1; i < s.PointCount(); ++i) EXPECT_LT(s.GetPoint(i).first, s.GetPoint(i + 1).first) << c.what;
        EXPECT_EQ(s.GetPoint(2), std::make_pair(45.0f, 50.0f)) << c.what;
        EXPECT_EQ(s.GetPoint(4), std::make_pair(135.0f, 50.0f)) << c.what;
    }
    // A point inserted closer than 15 to a neighbour cannot move sideways towards or away from
    // it until there is room, but can be raised and lowered.
    TBSpline s = StartCurve();
    ASSERT_TRUE(InsertHslPoint(s, 100, 50));
    Drag(s, 100, 50, 100, 10);
    EXPECT_EQ(s.GetPoint(4), std::make_pair(100.0f, 10.0f));
    Drag(s, 100, 10, 98, 10);
    EXPECT_EQ(s.GetPoint(4), std::make_pair(100.0f, 10.0f));
    Drag(s, 100, 10, 108, 10);
    EXPECT_EQ(s.GetPoint(4), std::make_pair(108.0f, 10.0f));
}

TEST(HslCurves, InsertNeedsAnEnclosingPairAndDeleteSparesTheEnds) {
    struct Case {
        const char* what;
        int x;
        bool inserted;
        int index;  // where the new point lands
    } inserts[] = {
        {"between 0 and 45", 10, true, 2},
        {"between 315 and 360", 359, true, 9},
        {"left of the circle", -1, false, 0},
        {"right of the circle", 361, false, 0},
        {"on an existing point's hue", 90, false, 0},
        {"on the first point", 0, false, 0},
    };
    for (const Case& c : inserts) {
        TBSpline s = StartCurve();
        EXPECT_EQ(InsertHslPoint(s, c.x, 30), c.inserted) << c.what;
        EXPECT_EQ(s.PointCount(), c.inserted ? 10 : 9) << c.what;
        if (c.inserted) {
            EXPECT_EQ(s.GetPoint(c.index), std::make_pair(float(c.x), 30.0f)) << c.what;
        }
    }

    TBSpline s = StartCurve();
    EXPECT_FALSE(DeleteHslPoint(s, 0, 50));    // the first point stays
    EXPECT_FALSE(DeleteHslPoint(s, 360, 50));  // and the last
    EXPECT_FALSE(DeleteHslPoint(s, 105, 50));  // 15 off: not near enough
    EXPECT_TRUE(DeleteHslPoint(s, 101, 36));
    EXPECT_EQ(s.PointCount(), 8);
    EXPECT_EQ(s.GetPoint(3).first, 135);
    // Of two points near the pointer the later one goes.
    TBSpline t = StartCurve();
    ASSERT_TRUE(InsertHslPoint(t, 100, 50));
    EXPECT_TRUE(DeleteHslPoint(t, 94, 50));
    EXPECT_EQ(t.GetPoint(3).first, 90);
    EXPECT_EQ(t.GetPoint(4).first, 135);
}

TEST(HslCurves, TableFollowsTheCurveByHueAfterAnUnevenInsert) {
    TBSpline s = StartCurve();
    ASSERT_TRUE(InsertHslPoint(s, 100, 10));  // between 90 and 135, 40 above the line
    HslTable t{};
    TableFromCurve(s, t);
    // The table is looked up by a pixel's hue: the raised point must act at hue 100, where the
    // graph shows it, not where it would sit if the ten points were evenly spread (hue 120).
    EXPECT_NEAR(Entry(t, 100), 40, 0.05);
    for (int k = 0; k <= 3600; ++k) {
        const float peak = Entry(t, 100);
        ASSERT_LE(t[std::size_t(k)], peak + 1e-3f) << k;
    }
    // Every other point still sits where it is drawn.
    for (double h : {0.0, 45.0, 90.0, 135.0, 180.0, 360.0}) EXPECT_NEAR(Entry(t, h), 0, 0.05) << h;
    // Evenly spaced points and even parameters agree: a raised middle point peaks at its hue.
    TBSpline even = StartCurve();
    Drag(even, 180, 50, 180, 0);
    TableFromCurve(even, t);
    EXPECT_NEAR(Entry(t, 180), 50, 0.05);
    EXPECT_NEAR(Entry(t, 179.9), Entry(t, 180.1), 1e-3);
}

TEST(HslCurves, CrowdedPointsLeaveNoEntryUnset) {
    // Many points squeezed near hue 0 leave one long stretch of parameter for the rest of the
    // circle: the table must still be continuous there.
    TBSpline s = StartCurve();
    for (int x = 1; x <= 40; ++x) ASSERT_TRUE(InsertHslPoint(s, x, x % 2 ? 45 : 55));
    while (s.PointCount() > 42) ASSERT_TRUE(DeleteHslPoint(s, s.GetPoint(42).first, 50));
    ASSERT_EQ(s.GetPoint(42).first, 360);
    Drag(s, 360, 50, 360, 0);
    HslTable t;
    TableFromCurve(s, t);
    // One gentle piece from the crowd's last point (40, 55) to the raised end (360, 0).
    for (int k = 410; k < 3600; ++k) ASSERT_LT(std::fabs(t[std::size_t(k) + 1] - t[std::size_t(k)]), 0.5f) << k;
    EXPECT_NEAR(Entry(t, 40), -5, 1e-2);
    EXPECT_NEAR(t[3600], 50, 1e-2);
    EXPECT_NEAR(t[0], 50, 1e-2);
}

TEST(HslCurves, GraphShowsTheGridAndTheCurve) {
    TBSpline s = StartCurve();
    Bitmap24 graph;
    DrawHslGraph(s, graph);
    ASSERT_EQ(graph.Width(), 361);
    ASSERT_EQ(graph.Height(), 100);
    Canvas c(graph);
    EXPECT_EQ(c.Pixel(20, 10), 0xFFFFFFu);   // background
    EXPECT_EQ(c.Pixel(45, 10), 0x008000u);   // grid every 45 degrees, top to bottom
    EXPECT_EQ(c.Pixel(360, 99), 0x008000u);
    EXPECT_EQ(c.Pixel(20, 50), 0x000000u);   // the neutral curve drawn over the neutral line
    // Dragged up at the ends, the curve leaves the line there and the green line shows.
    Drag(s, 0, 50, 0, 20);
    DrawHslGraph(s, graph);
    EXPECT_EQ(c.Pixel(5, 50), 0x008000u);
    EXPECT_EQ(c.Pixel(2, 20), 0xFF0000u);    // the end point's red circle
}

}  // namespace
}  // namespace talvenor
