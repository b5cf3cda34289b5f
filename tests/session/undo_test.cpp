#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "session/page_change.h"
#include "session/ranked_stills.h"
#include "session/stacking_handlers.h"
#include "session/still_on_wavelet_page.h"
#include "session/tool_windows.h"

namespace talvenor {
namespace {

using testing::StillOnWaveletPage;

void Act(Session& s, const char* action, int times = 1) {
    for (int i = 0; i < times; ++i) s.Dispatch(action, Event::Click);
}
void Mouse(Session& s, const char* picture, Event ev, int x, int y, MouseButton button = MouseButton::Left) {
    s.Dispatch(picture, ev, EventArgs{.X = x, .Y = y, .Button = button});
}

TEST(Undo, TenSliderMovesUndoneRestoreTheFirstPictureExactlyAndTheLastHundredAreKept) {
    StillOnWaveletPage w;
    const Bitmap24 first = w.picture();
    Slider* gains[] = {&w.f().RxSlider3, &w.f().RxSlider4, &w.f().RxSlider5};
    for (int i = 0; i < 10; ++i) w.Set(*gains[i % 3], 14 + 3 * i);
    const Bitmap24 last = w.picture();
    ASSERT_NE(last, first);
    Act(*w.s, "Undo", 10);
    EXPECT_EQ(w.picture(), first);
    EXPECT_FALSE(w.s->undo.CanUndo());
    Act(*w.s, "Redo", 10);
    EXPECT_EQ(w.picture(), last);
    EXPECT_FALSE(w.s->undo.CanRedo());

    w.s->undo.BeginGesture();  // a slider without tracking, its handle held: one step
    for (int v : {10, 20, 30}) w.Set(w.f().Noise1, v);
    w.s->undo.EndGesture();
    EXPECT_EQ(w.s->undo.UndoCount(), 11u);
    Act(*w.s, "Undo");
    w.Set(w.f().BrightnessSlider, 5);  // a new step forgets what could be redone
    EXPECT_FALSE(w.s->undo.CanRedo());
    for (int i = 0; i < 120; ++i) w.Set(w.f().BrightnessSlider, 6 + i % 50);
    EXPECT_EQ(w.s->undo.UndoCount(), UndoHistory::kMaxSteps);
}

// Each kind of setting, and the drags on the Final page: one step each, undone and redone
// exactly (the Wavelet page's picture, or the Final page's).
TEST(Undo, EverySettingAndDragIsOneStepThatComesBackExactly) {
    auto drag = [](Session& s, const char* control, int x0, int y0, int x1, int y1) {
        Mouse(s, control, Event::MouseDown, x0, y0);
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));  // a pixel at a time
        for (int k = 1; k <= steps; ++k)
            Mouse(s, control, Event::MouseMove, x0 + (x1 - x0) * k / steps, y0 + (y1 - y0) * k / steps);
        Mouse(s, control, Event::MouseUp, x1, y1);
    };
    struct Case {
        const char* name;
        bool finalPage;
        std::function<void(StillOnWaveletPage&)> change;
    };
    const Case cases[] = {
        {"layer switch", false, [](StillOnWaveletPage& w) { w.f().CheckBox6.Checked = false; w.s->Dispatch("CheckBox6", Event::Click); }},
        {"gamma", false, [](StillOnWaveletPage& w) { w.f().Gamma1spin.Value = 1.8; w.s->Dispatch("Gamma1spin", Event::Change); }},
        {"reset", false, [](StillOnWaveletPage& w) { w.s->Dispatch("ResetButton", Event::Click); }},
        {"auto", false, [](StillOnWaveletPage& w) { w.s->Dispatch("AutoSharpen", Event::Click); }},
        {"deconvolution", false, [](StillOnWaveletPage& w) { w.f().SharpenMethod.ItemIndex = 1; w.s->Dispatch("SharpenMethod", Event::Click); }},
        {"gamma curve point", false, [](StillOnWaveletPage& w) {
             Mouse(*w.s, "GammaSplineGraph", Event::MouseDown, 60, 150, MouseButton::Right);
             Mouse(*w.s, "GammaSplineGraph", Event::MouseUp, 60, 150, MouseButton::Right);
         }},
        {"contrast dragged", false, [](StillOnWaveletPage& w) {
             for (int v : {120, 150, 170}) { w.f().ContrastSlider.Value = v; w.s->Dispatch("ContrastSlider", Event::Tracking); }
             w.Set(w.f().ContrastSlider, 180);
         }},
        {"crop", true, [&](StillOnWaveletPage& w) { drag(*w.s, "RotateImage", 40, 30, 120, 90); }},
        {"saturation curve", true, [&](StillOnWaveletPage& w) { drag(*w.s, "Saturationgraph", 90, 50, 90, 10); }},
    };
    for (const auto& [name, finalPage, change] : cases) {
        StillOnWaveletPage w;
        w.Set(w.f().RxSlider3, 25);
        if (finalPage) GoToPage(*w.s, kPageFinal);
        Bitmap24& shown = finalPage ? w.f().RotateImage.Image : w.picture();
        const Bitmap24 before = shown;
        change(w);
        const Bitmap24 after = shown;
        ASSERT_NE(after, before) << name;
        EXPECT_EQ(w.s->undo.UndoCount(), 2u) << name;
        Act(*w.s, "Undo");
        EXPECT_EQ(shown, before) << name;
        Act(*w.s, "Redo");
        EXPECT_EQ(shown, after) << name;
    }
}

// The feature and the alignment points: each pick comes back, and points a stack placed by
// itself are where undoing stops, not a step.
TEST(Undo, TheFeatureAndTheAlignmentPointsComeBack) {
    testing::RankedStills r(4, 200, 160, [](int k, int x, int y) {
        const auto v = uint8_t(120 + int(40 * std::sin(x * 0.3) * std::cos(y * 0.23)) + k);
        return Bgr{v, v, v};
    });
    Session& s = *r.s;
    Mouse(s, "PreviewImage", Event::MouseDown, 100, 80);
    Mouse(s, "PreviewImage", Event::MouseDown, 90, 70);
    s.form.StackSlider.Value = 1;
    Stack(s);
    const std::size_t automatic = s.points.Points.size();
    ASSERT_GT(automatic, 1u);
    s.Dispatch("APClearButton", Event::Click);
    s.form.APEditMode.Checked = true;
    Mouse(s, "Stackimage", Event::MouseDown, 100, 80);
    Act(s, "Undo", 2);
    EXPECT_EQ(s.form.Stackimage.Boxes.size(), automatic);
    Act(s, "Redo", 2);
    EXPECT_EQ(s.points.Points.size(), 1u);
    Act(s, "Undo", 3);
    EXPECT_EQ(s.points.Points.size(), automatic);
    EXPECT_EQ(std::make_pair(s.ws.AlignX, s.ws.AlignY), std::make_pair(100, 80));
}

}  // namespace
}  // namespace talvenor
