// The HSL window through the Session: mouse actions on the three graphs, the tables they leave
// for the render, the hue picked from the picture, the reset and the start-up curves.
#include <gtest/gtest.h>

#include <cmath>

#include "final/colour_model.h"
#include "final/render_final.h"
#include "session/hsl_window.h"
#include "session/page_change.h"
#include "session/still_on_wavelet_page.h"
#include "session/tool_windows.h"
#include "workspace/canvas.h"

namespace talvenor {
namespace {

using testing::StartedSession;

struct Mouse {
    Session& s;
    void operator()(const std::string& graph, Event ev, MouseButton b, int x, int y, bool ctrl = false,
                    bool shift = false) {
        EventArgs e;
        e.Button = b;
        e.X = x;
        e.Y = y;
        e.Ctrl = ctrl;
        e.Shift = shift;
        s.Dispatch(graph, ev, e);
    }
    // Press, a drag one pixel at a time, release: as a hand does it.
    void Drag(const std::string& graph, int fromX, int fromY, int toX, int toY) {
        (*this)(graph, Event::MouseDown, MouseButton::Left, fromX, fromY);
        const int steps = std::max({std::abs(toX - fromX), std::abs(toY - fromY), 1});
        for (int i = 1; i <= steps; ++i)
            (*this)(graph, Event::MouseMove, MouseButton::Left, fromX + (toX - fromX) * i / steps,
                    fromY + (toY - fromY) * i / steps);
        (*this)(graph, Event::MouseUp, MouseButton::Left, toX, toY);
    }
};

bool AllZero(const std::array<float, kHueSteps>& t) {
    return std::all_of(t.begin(), t.end(), [](float v) { return v == 0; });
}

TEST(HslWindow, StartUpCreatesNeutralCurvesBesideTheGammaCurve) {
    StartedSession t;
    Session& s = t.Start();
    for (TBSpline* spline : {&s.finalImage.HueSpline, &s.finalImage.SatSpline, &s.finalImage.LightSpline}) {
        ASSERT_EQ(spline->PointCount(), 9);
        EXPECT_EQ(spline->GetPoint(9), std::make_pair(360.0f, 50.0f));
    }
    EXPECT_TRUE(AllZero(s.finalImage.HueCurve));
    EXPECT_TRUE(AllZero(s.finalImage.SatCurve));
    EXPECT_TRUE(AllZero(s.finalImage.LightCurve));
    for (Picture* graph : {&s.form.Huegraph, &s.form.Saturationgraph, &s.form.Lightnessgraph}) {
        Canvas c(graph->Image);
        EXPECT_EQ(c.Pixel(90, 10), 0x008000u) << graph->Name;  // the grid is drawn
    }
    // The gamma curve is still made at start-up.
    EXPECT_EQ(s.wavelets.GammaSpline.PointCount(), 3);
    EXPECT_DOUBLE_EQ(s.ws.GammaCurve[1000], 1.000001);
}

TEST(HslWindow, EachGraphEditsItsOwnCurveAndTheTableFollowsOnRelease) {
    StartedSession t;
    Session& s = t.Start();
    Mouse m{s};
    FinalState& st = s.finalImage;
    // The first saturation point dragged to the top: both ends move, the table waits for the
    // release.
    m("Saturationgraph", Event::MouseDown, MouseButton::Left, 0, 50);
    for (int y = 49; y >= 0; --y) m("Saturationgraph", Event::MouseMove, MouseButton::Left, 0, y);
    EXPECT_EQ(st.SatSpline.GetPoint(9), std::make_pair(360.0f, 0.0f));
    EXPECT_TRUE(AllZero(st.SatCurve));
    m("Saturationgraph", Event::MouseUp, MouseButton::Left, 0, 0);
    EXPECT_NEAR(st.SatCurve[0], 50, 1e-3);
    EXPECT_NEAR(st.SatCurve[3600], 50, 1e-3);
    EXPECT_GT(st.SatCurve[200], st.SatCurve[400]);
    EXPECT_NEAR(st.SatCurve[200], st.SatCurve[3400], 1e-2);
    EXPECT_NEAR(st.SatCurve[450], 0, 1e-3);
    EXPECT_TRUE(AllZero(st.HueCurve));
    EXPECT_TRUE(AllZero(st.LightCurve));

    // Lightness: a point inserted at hue 200 and dragged down lowers that hue only.
    m("Lightnessgraph", Event::MouseDown, MouseButton::Right, 200, 50);
    ASSERT_EQ(st.LightSpline.PointCount(), 10);
    m("Lightnessgraph", Event::MouseUp, MouseButton::Right, 200, 50);
    m.Drag("Lightnessgraph", 200, 50, 200, 90);
    EXPECT_NEAR(st.LightCurve[2000], -40, 0.05);
    EXPECT_NEAR(st.LightCurve[1800], 0, 0.05);
    EXPECT_NEAR(st.LightCurve[2250], 0, 0.05);
    EXPECT_EQ(st.SatSpline.PointCount(), 9);
}

TEST(HslWindow, ButtonsAndModifiersChooseTheAction) {
    struct Case {
        const char* what;
        const char* graph;
        Event event;
        MouseButton button;
        int x, y;
        bool ctrl, shift;
        int huePoints;     // points of the hue curve afterwards
        float thirdY;      // height of its third point (90, 50 at start)
    } cases[] = {
        {"right click inserts", "Huegraph", Event::MouseDown, MouseButton::Right, 60, 30, false, false, 10, 30},
        {"right click with Shift does nothing", "Huegraph", Event::MouseDown, MouseButton::Right, 60, 30, false, true, 9, 50},
        {"right click with Ctrl does nothing", "Huegraph", Event::MouseDown, MouseButton::Right, 60, 30, true, false, 9, 50},
        {"Ctrl + left click deletes", "Huegraph", Event::MouseDown, MouseButton::Left, 92, 45, true, false, 8, 50},
        {"left click alone deletes nothing", "Huegraph", Event::MouseDown, MouseButton::Left, 92, 45, false, false, 9, 50},
        {"left drag moves", "Huegraph", Event::MouseMove, MouseButton::Left, 92, 45, false, false, 9, 45},
        {"left drag with Ctrl does not move", "Huegraph", Event::MouseMove, MouseButton::Left, 92, 45, true, false, 9, 50},
        {"right drag does not move", "Huegraph", Event::MouseMove, MouseButton::Right, 92, 45, false, false, 9, 50},
        {"the hue histogram edits the hue curve", "HueHistoImage", Event::MouseDown, MouseButton::Right, 60, 30, false, false, 10, 30},
        {"another graph leaves the hue curve", "Saturationgraph", Event::MouseDown, MouseButton::Right, 60, 30, false, false, 9, 50},
    };
    StartedSession t;
    Session& s = t.Start();
    Mouse m{s};
    for (const Case& c : cases) {
        ResetHslCurves(s);
        m(c.graph, c.event, c.button, c.x, c.y, c.ctrl, c.shift);
        EXPECT_EQ(s.finalImage.HueSpline.PointCount(), c.huePoints) << c.what;
        EXPECT_EQ(s.finalImage.HueSpline.GetPoint(3).second, c.thirdY) << c.what;
    }
}

TEST(HslWindow, HuePickInsertsANeutralPointBetweenItsNeighbours) {
    StartedSession t;
    Session& s = t.Start();
    TBSpline& hue = s.finalImage.HueSpline;
    struct Case {
        int hue;
        int points;  // afterwards
    } cases[] = {{100, 10}, {1, 10}, {359, 10}, {0, 9}, {90, 9}, {360, 9}, {-4, 9}, {365, 9}};
    for (const Case& c : cases) {
        ResetHslCurves(s);
        s.form.Huegraph.Image.Fill(Bgr{0, 0, 0});
        InsertHuePoint(s, c.hue);
        EXPECT_EQ(hue.PointCount(), c.points) << c.hue;
        Canvas g(s.form.Huegraph.Image);
        EXPECT_EQ(g.Pixel(20, 10), 0xFFFFFFu) << c.hue;  // redrawn
        if (c.points == 10) {
            int i = 1;
            while (hue.GetPoint(i).first != float(c.hue)) ++i;
            EXPECT_EQ(hue.GetPoint(i).second, 50) << c.hue;
            EXPECT_LT(hue.GetPoint(i - 1).first, float(c.hue));
            EXPECT_GT(hue.GetPoint(i + 1).first, float(c.hue));
        }
    }
    // The pick alone leaves the table; releasing on the graph then takes the new point.
    ResetHslCurves(s);
    InsertHuePoint(s, 100);
    Mouse m{s};
    m.Drag("Huegraph", 100, 50, 100, 25);
    EXPECT_NEAR(s.finalImage.HueCurve[1000], 25, 0.05);
}

TEST(HslWindow, ResetBringsBackTheNeutralCurvesAndZeroTables) {
    StartedSession t;
    Session& s = t.Start();
    Mouse m{s};
    m.Drag("Huegraph", 180, 50, 180, 10);
    m.Drag("Lightnessgraph", 360, 50, 360, 100);
    m("Saturationgraph", Event::MouseDown, MouseButton::Right, 20, 20);
    ASSERT_FALSE(AllZero(s.finalImage.HueCurve));
    ResetHslCurves(s);
    for (TBSpline* spline : {&s.finalImage.HueSpline, &s.finalImage.SatSpline, &s.finalImage.LightSpline}) {
        ASSERT_EQ(spline->PointCount(), 9);
        for (int i = 1; i <= 9; ++i) EXPECT_EQ(spline->GetPoint(i), std::make_pair(45.0f * float(i - 1), 50.0f));
    }
    EXPECT_TRUE(AllZero(s.finalImage.HueCurve));
    EXPECT_TRUE(AllZero(s.finalImage.LightCurve));
    Canvas c(s.form.Huegraph.Image);
    EXPECT_EQ(c.Pixel(180, 20), 0x008000u);  // the raised curve is gone from the graph
}

TEST(HslWindow, ReleasingOnAGraphRendersTheFinalPicture) {
    testing::StillOnWaveletPage w(120, 90);
    Session& s = *w.s;
    GoToPage(s, kPageFinal);
    const Bitmap24 plain = s.form.RotateImage.Image;
    ASSERT_FALSE(plain.Empty());
    Mouse m{s};
    // Lightness raised around hue 135: pixels of about that hue get brighter, the rest of the
    // picture is left as it was.
    m.Drag("Lightnessgraph", 135, 50, 135, 0);
    const Bitmap24& lit = s.form.RotateImage.Image;
    int brighter = 0;
    for (int y = 0; y < plain.Height(); ++y)
        for (int x = 0; x < plain.Width(); ++x) {
            const Bgr p = plain.Pixel(x, y), q = lit.Pixel(x, y);
            const Hsv hsv = RGBtoHSV(p.r, p.g, p.b);
            const int before = std::max({p.r, p.g, p.b}), after = std::max({q.r, q.g, q.b});
            if (hsv.s > 0.05f && std::fabs(hsv.h - 135) < 8) {
                EXPECT_GE(after, std::min(255, before + 60)) << x << "," << y;
                ++brighter;
            } else if (hsv.s == 0) {
                EXPECT_EQ(after, before) << x << "," << y;  // greys have hue 0: the curve is flat there
            }
        }
    EXPECT_GT(brighter, 0);
}

TEST(HslWindow, AClickOnAnUntouchedCurveLeavesItExactlyNeutral) {
    StartedSession t;
    Session& s = t.Start();
    Mouse m{s};
    for (const char* graph : {"Huegraph", "Saturationgraph", "Lightnessgraph"}) {
        m(graph, Event::MouseDown, MouseButton::Left, 200, 80);
        m(graph, Event::MouseUp, MouseButton::Left, 200, 80);
    }
    EXPECT_TRUE(AllZero(s.finalImage.HueCurve));
    EXPECT_TRUE(AllZero(s.finalImage.SatCurve));
    EXPECT_TRUE(AllZero(s.finalImage.LightCurve));
    // A pure red keeps its level through the render.
    TTIFFBitMap red;
    red.CreateWide(1, 1);
    red.SetSample(0, 0, 0, 128 * 256);
    Bitmap24 out;
    std::array<int32_t, 361> histogram{};
    RenderFinal(red, 1, 1, FinalSettings{.curves = &s.finalImage}, out, histogram);
    EXPECT_EQ(out.Pixel(0, 0), (Bgr{0, 0, 128}));
}

}  // namespace
}  // namespace talvenor
