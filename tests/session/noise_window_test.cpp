#include <gtest/gtest.h>

#include <cmath>

#include "session/noise_window.h"
#include "session/still_on_wavelet_page.h"
#include "session/wavelet_process.h"
#include "support/picture_difference.h"
#include "wavelets/noise.h"

namespace talvenor {
namespace {

using testing::MaxDifference;
using testing::StillOnWaveletPage;

void Choose(StillOnWaveletPage& w, int estimator) {
    w.f().Denoise.ItemIndex = estimator;
    w.s->Dispatch("Denoise", Event::Click);
}

TEST(NoiseWindow, EstimatorsSetTheThresholdsAndCentreTheSliders) {
    StillOnWaveletPage w;
    const WaveletState& st = w.s->wavelets;
    Choose(w, 4);  // Method D: the layer's mean absolute value, to a thousandth
    for (int n = 1; n <= 6; ++n) {
        const double estimate = st.LayerMeanAbs[std::size_t(n)];
        EXPECT_NEAR(st.NoiseThreshold[std::size_t(n)], std::nearbyint(estimate * 1000) / 1000, 1e-6) << n;
        EXPECT_EQ(NoiseSlider(w.f(), n).MaxValue, int(std::nearbyint(estimate * 1000)) * 2 + 1);
        EXPECT_EQ(NoiseSlider(w.f(), n).Value, int(std::nearbyint(estimate * 1000)));
    }
    // The thresholds only count for the layers whose box is checked.
    const Bitmap24 before = w.picture();
    w.f().cut1.Checked = true;
    w.s->Dispatch("cut1", Event::Click);
    EXPECT_GT(MaxDifference(w.picture(), before), 0);

    // Method A is the variance; the factor scales every estimate.
    w.f().stdevfactor.Value = 5;
    Choose(w, 1);
    EXPECT_NEAR(st.NoiseThreshold[2], std::nearbyint(st.LayerVariance[2] * 0.5 * 1000) / 1000, 1e-6);
    w.f().stdevfactor.Value = 10;

    // "None": no thresholds, every slider at 0 of 1.
    Choose(w, 0);
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(st.NoiseThreshold[std::size_t(n)], 0.0f);
        EXPECT_EQ(NoiseSlider(w.f(), n).Value, 0);
        EXPECT_EQ(NoiseSlider(w.f(), n).MaxValue, 1);
    }
    // A checked layer with threshold 0 is left out of the picture.
    w.Set(w.f().RxSlider3, 10);
    const Bitmap24 dropped = w.picture();
    w.f().cut1.Checked = false;
    w.s->Dispatch("cut1", Event::Click);
    EXPECT_GT(MaxDifference(w.picture(), dropped), 0);

    // A threshold slider by hand: thousandths, rebuilt at once while "Active".
    w.f().cut2.Checked = true;
    w.s->Dispatch("cut2", Event::Click);
    const Bitmap24 none = w.picture();
    w.Set(w.f().Noise2, 800);
    EXPECT_FLOAT_EQ(st.NoiseThreshold[2], 0.8f);
    EXPECT_GT(MaxDifference(w.picture(), none), 0);
}

TEST(NoiseWindow, APickOnTheBackgroundSetsTheAntiRingLevelAndRanges) {
    StillOnWaveletPage w;
    Controls& f = w.f();
    // A background whose luminance is 0.05 around (20, 20) (colour: the weighted channels).
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) w.s->ws.ResultPlanes[std::size_t(c)].Put(x, y, 0.05f);
    const int alignX = w.s->ws.AlignX;
    EventArgs right;
    right.Button = MouseButton::Right;
    right.X = right.Y = 20;
    w.s->Dispatch("ProcessImage", Event::MouseDown, right);
    EXPECT_EQ(f.AntiRingSlider.MinValue, 5);
    EXPECT_EQ(f.AntiRingSlider.MaxValue, 250);
    EXPECT_EQ(f.AntiRingSlider.Value, 100);
    EXPECT_FLOAT_EQ(w.s->wavelets.AntiRingLevel, 0.1f);
    EXPECT_EQ(f.AntiRing.Caption, "Antiring 0.05");
    EXPECT_EQ(w.s->ws.AlignX, alignX);  // not a move of the processing area

    // A pick in the corner averages only what lies inside the image.
    w.s->ws.ResultPlanes[1].Put(0, 0, 100.0f);
    const float corner = AntiRingPickLevel(w.s->ws, true, 0, 0);
    EXPECT_NEAR(corner, (0.05f * 35 + (0.299f + 0.114f) * 0.05f + 0.587f * 100.0f) / 36, 1e-4);
}

TEST(NoiseWindow, ANegativeBackgroundAndAGreyPickReadTheirOwnLevels) {
    StillOnWaveletPage w;
    Controls& f = w.f();
    // A sky below zero (a dark frame taken off): the slider spans -250 .. 250 and sits at -50.
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) w.s->ws.ResultPlanes[std::size_t(c)].Put(x, y, -0.05f);
    PickAntiRingLevel(*w.s, 20, 20);
    EXPECT_EQ(f.AntiRingSlider.MinValue, -250);
    EXPECT_EQ(f.AntiRingSlider.MaxValue, 250);
    EXPECT_EQ(f.AntiRingSlider.Value, -50);
    EXPECT_FLOAT_EQ(w.s->wavelets.AntiRingLevel, -0.05f);
    EXPECT_EQ(f.AntiRing.Caption, "Antiring -0.05");

    // Grey processing reads the green plane alone, whatever red and blue hold, at its weight:
    // 0.587 x 0.2 = 0.1174 measured, the slider at Round(2 x 117.4) = 235.
    f.ColourStack.Checked = false;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            w.s->ws.ResultPlanes[0].Put(x, y, 9.0f);
            w.s->ws.ResultPlanes[1].Put(x, y, 0.2f);
        }
    PickAntiRingLevel(*w.s, 20, 20);
    EXPECT_NEAR(w.s->wavelets.AntiRingLevel, 0.235f, 1e-6);
    EXPECT_EQ(f.AntiRing.Caption, "Antiring 0.12");
}

TEST(NoiseWindow, AntiRingShowsTheResidualOnlyBelowTheLevel) {
    StillOnWaveletPage w;
    Controls& f = w.f();
    // Level 0 leaves a non-negative image (neutral gains) alone.
    const Bitmap24 neutral = w.picture();
    f.AntiRingSlider.MinValue = 0;
    w.Set(f.AntiRingSlider, 0);
    f.AntiRing.Checked = true;
    w.s->Dispatch("AntiRing", Event::Click);
    EXPECT_EQ(MaxDifference(w.picture(), neutral), 0);
    w.Set(f.RxSlider3, 60);
    w.Set(f.RxSlider4, 40);
    // Sharpening rings below the sky just outside the disk; a level above the sky takes the
    // residual there, so nothing outside is darker than the plain sky.
    const int sky = w.f().Stackimage.Image.Pixel(5, 5).g;
    auto darkestOutside = [&] {
        int darkest = 255;
        for (int y = 10; y < 170; ++y)
            for (int x = 10; x < 230; ++x) {
                const double d = std::hypot(x - 120.0, y - 90.0);
                if (d > 69.5 && d < 76) darkest = std::min<int>(darkest, w.picture().Pixel(x, y).g);
            }
        return darkest;
    };
    f.AntiRing.Checked = false;
    w.s->Dispatch("AntiRing", Event::Click);
    ASSERT_LT(darkestOutside(), sky);  // the ring is there
    EventArgs right;
    right.Button = MouseButton::Right;
    right.X = right.Y = 12;
    w.s->Dispatch("ProcessImage", Event::MouseDown, right);
    f.AntiRing.Checked = true;
    w.s->Dispatch("AntiRing", Event::Click);
    EXPECT_GE(darkestOutside(), sky - 1);
}

}  // namespace
}  // namespace talvenor
