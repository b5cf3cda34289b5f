#include <gtest/gtest.h>

#include <cmath>

#include "imagefiles/bmp_file.h"
#include "session/histogram_window.h"
#include "session/input_selection.h"
#include "session/session_fixture.h"
#include "session/tool_windows.h"
#include "support/picture_difference.h"

namespace talvenor {
namespace {

using testing::MaxDifference;
using testing::StartedSession;

// A colour ramp: every level from dark to bright across, red and blue a little apart.
Bitmap24 RampPicture() {
    Bitmap24 b(64, 48);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const int v = 20 + 200 * x / 63;
            b.SetPixel(x, y, Bgr{uint8_t(v * 7 / 10), uint8_t(v), uint8_t(v * 9 / 10 + y / 4)});
        }
    return b;
}

// One still opened: stacked at once, it lands processed on the Wavelet Processing page.
struct RampOnWaveletPage {
    StartedSession t;
    Session* s = nullptr;
    RampOnWaveletPage() {
        s = &t.Start();
        s->form.AutoSharpenAfterStack.Checked = false;  // the stack's own levels on show
        const std::filesystem::path p = t.appDir / "ramp.bmp";
        WriteBmp24(p, RampPicture());
        OpenInput(*s, {p.string()}, 2);
    }
    Controls& f() { return s->form; }
    Bitmap24& picture() { return s->form.ProcessImage.Image; }
    void Click(const Control& c) { s->Dispatch(c.Name, Event::Click); }
    void Move(int x, int y, MouseButton button = MouseButton::Left, bool ctrl = false) {
        EventArgs e;
        e.X = x;
        e.Y = y;
        e.Button = button;
        e.Ctrl = ctrl;
        s->Dispatch("Histograph", Event::MouseMove, e);
    }
    // A drag as the mouse makes it: small steps from one place to another.
    void Drag(int fromX, int toX) {
        for (int x = fromX; fromX < toX ? x <= toX : x >= toX; x += fromX < toX ? 5 : -5) Move(x, 255);
    }
    void Set(Slider& slider, int value, Event event = Event::Change) {
        slider.Value = value;
        s->Dispatch(slider.Name, event);
    }
    void Set(SpinEdit& spin, double value) {
        spin.Value = value;
        s->Dispatch(spin.Name, Event::Change);
    }
};

// The largest difference between `channel` of each pixel and what `expected` makes of the
// same channel of `from`.
template <class F>
int WorstChannel(const Bitmap24& shown, const Bitmap24& from, uint8_t Bgr::*channel, F expected) {
    int worst = 0;
    for (int y = 0; y < shown.Height(); ++y)
        for (int x = 0; x < shown.Width(); ++x) {
            const double e = std::clamp(expected(double(from.Pixel(x, y).*channel)), 0.0, 255.0);
            worst = std::max(worst, int(std::fabs(shown.Pixel(x, y).*channel - e) + 0.5));
        }
    return worst;
}

int PixelsOf(const Bitmap24& b, uint32_t colour) {
    int n = 0;
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < b.Width(); ++x) n += RgbOf(b.Pixel(x, y)) == colour;
    return n;
}

TEST(HistogramWindow, OpensWithTheLastCountsAndRedrawsAtEveryRebuild) {
    RampOnWaveletPage w;
    ASSERT_EQ(w.f().PageControl1.ActivePageIndex, kPageWavelets);
    int counted = 0;
    for (int32_t n : w.s->ws.Histogram[1]) counted += n;
    EXPECT_EQ(counted, 64 * 48);

    w.f().Histowin.Checked = true;
    w.Click(w.f().Histowin);
    ASSERT_TRUE(w.f().HistoWindow.Visible);
    const Bitmap24 shown = w.f().Histograph.Image;
    EXPECT_EQ(shown.Width(), 281);
    // Colour input: three different curves.
    EXPECT_GT(PixelsOf(shown, 0xFF0000), 50);
    EXPECT_GT(PixelsOf(shown, 0x008000), 50);
    EXPECT_GT(PixelsOf(shown, 0x0000FF), 50);

    w.f().Showpeak.Checked = true;
    w.Click(w.f().Showpeak);
    EXPECT_NE(w.f().Histograph.Image, shown);
    // Closing the window stops the redrawing.
    w.s->Dispatch("HistoWindow", Event::Close);
    EXPECT_FALSE(w.f().Histowin.Checked);
    const Bitmap24 closed = w.f().Histograph.Image;
    w.f().Showpeak.Checked = false;
    w.Click(w.f().Showpeak);
    EXPECT_EQ(w.f().Histograph.Image, closed);
}

TEST(HistogramWindow, MarkersMoveWithTheLeftButtonAndApplyAtStretch) {
    RampOnWaveletPage w;
    w.f().Histowin.Checked = true;
    w.Click(w.f().Histowin);
    const Bitmap24 neutral = w.picture();
    const HistogramState& st = w.s->wavelets.Histogram;

    // Other buttons, or Ctrl held, move nothing.
    w.Move(262, 255, MouseButton::Right);
    w.Move(262, 255, MouseButton::Left, true);
    EXPECT_EQ(st.HighPos, 270);

    w.Drag(262, 207);  // the high marker to bin 200
    w.Drag(7, 57);     // the low one to bin 50
    EXPECT_EQ(st.HighPos, 214);
    EXPECT_EQ(st.LowPos, 64);
    EXPECT_EQ(w.s->ws.HistLo, 50);
    EXPECT_EQ(w.s->ws.HistHi, 200);
    // The graph shows the markers' lines; the image waits.
    EXPECT_EQ(RgbOf(w.f().Histograph.Image.Pixel(60, 100)), 0x008080u);
    EXPECT_EQ(MaxDifference(w.picture(), neutral), 0);

    w.Click(w.f().BitBtn3);
    EXPECT_EQ(st.LowPos, 15);
    EXPECT_EQ(st.HighPos, 270);
    EXPECT_EQ(st.HistRangeLo, 50);
    const auto stretched = [](double v) { return (v - 50) / 150 * 255; };
    EXPECT_LE(WorstChannel(w.picture(), neutral, &Bgr::g, stretched), 2);
    EXPECT_LE(WorstChannel(w.picture(), neutral, &Bgr::r, stretched), 2);
    EXPECT_GT(MaxDifference(w.picture(), neutral), 40);

    // Stretch again without moving: one bin of the narrower range further.
    w.Click(w.f().BitBtn3);
    EXPECT_NEAR(w.s->ws.HistLo, 50 + 150.0 / 255, 1e-4);

    w.Click(w.f().HistoReset);
    EXPECT_EQ(w.s->ws.HistLo, 0);
    EXPECT_EQ(w.s->ws.HistHi, 255);
    EXPECT_EQ(st.HistRangeHi, 255);
    EXPECT_EQ(MaxDifference(w.picture(), neutral), 0);
}

TEST(HistogramWindow, OffsetsAndBalancesReachThePictureAndSetZeroUndoesThem) {
    RampOnWaveletPage w;
    const Bitmap24 neutral = w.picture();
    ASSERT_TRUE(w.f().ColourStack.Checked);

    w.Set(w.f().Rbalance, 0.5);
    EXPECT_FLOAT_EQ(w.s->ws.ColourBalance[0], 0.5f);
    EXPECT_LE(WorstChannel(w.picture(), neutral, &Bgr::r, [](double v) { return v * 0.5; }), 1);
    EXPECT_EQ(WorstChannel(w.picture(), neutral, &Bgr::g, [](double v) { return v; }), 0);
    w.Set(w.f().Bbalance, 1.5);
    EXPECT_LE(WorstChannel(w.picture(), neutral, &Bgr::b, [](double v) { return v * 1.5; }), 1);

    // Green follows its release only, red its handle too.
    const Bitmap24 balanced = w.picture();
    w.Set(w.f().GreenSlider, 20, Event::Tracking);
    EXPECT_EQ(MaxDifference(w.picture(), balanced), 0);
    w.Set(w.f().GreenSlider, 20);
    EXPECT_LE(WorstChannel(w.picture(), neutral, &Bgr::g, [](double v) { return v + 20; }), 1);
    w.Set(w.f().RedSlider, -40, Event::Tracking);
    EXPECT_LE(WorstChannel(w.picture(), neutral, &Bgr::r, [](double v) { return (v - 40) * 0.5; }), 1);

    w.Click(w.f().Button5);
    EXPECT_EQ(w.f().RedSlider.Value, 0);
    EXPECT_EQ(w.f().GreenSlider.Value, 0);
    EXPECT_EQ(w.f().Bbalance.Value, 1.0);
    EXPECT_EQ(w.s->ws.ColourBalance, (std::array<float, 3>{1, 1, 1}));
    EXPECT_EQ(MaxDifference(w.picture(), neutral), 0);

    // Red and blue offsets only in colour, whichever page's box says so.
    for (CheckBox* box : {&w.f().ColourStack, &w.f().ColourStack, &w.f().Colourprocess2, &w.f().Colourprocess2}) {
        box->Checked = !box->Checked;
        w.Click(*box);
        EXPECT_EQ(w.f().RedSlider.Enabled, box->Checked) << box->Name;
        EXPECT_EQ(w.f().blueslider.Enabled, box->Checked) << box->Name;
        EXPECT_TRUE(w.f().GreenSlider.Enabled);
    }
}

TEST(HistogramWindow, ANewInputStartsWithoutStretchOffsetsOrBalance) {
    RampOnWaveletPage w;
    w.Drag(262, 207);
    w.Click(w.f().BitBtn3);
    w.Drag(7, 57);
    w.Set(w.f().Gbalance, 0.25);
    w.Set(w.f().GreenSlider, -30);
    ASSERT_NE(w.s->ws.HistHi, 255);

    // The same still chosen again through "Select input".
    w.t.host.OpenChoices.push_back(FileChoice{{(w.t.appDir / "ramp.bmp").string()}, 2});
    w.Click(w.f().SelectFileButton);
    ASSERT_EQ(w.f().PageControl1.ActivePageIndex, kPageWavelets);
    EXPECT_EQ(w.s->ws.HistLo, 0);
    EXPECT_EQ(w.s->ws.HistHi, 255);
    EXPECT_EQ(w.s->wavelets.Histogram.HistRangeHi, 255);
    EXPECT_EQ(w.s->wavelets.Histogram.LowPos, 15);
    EXPECT_EQ(w.f().Gbalance.Value, 1.0);
    EXPECT_EQ(w.f().GreenSlider.Value, 0);
    EXPECT_EQ(w.s->ws.ColourBalance, (std::array<float, 3>{1, 1, 1}));
    EXPECT_LE(MaxDifference(w.picture(), w.f().Stackimage.Image), 1);
}

}  // namespace
}  // namespace talvenor
