#include <gtest/gtest.h>

#include <functional>

#include <cmath>

#include "session/page_change.h"
#include "session/ranked_stills.h"
#include "session/stacking_handlers.h"
#include "session/still_on_wavelet_page.h"
#include "session/tool_windows.h"

namespace talvenor {
namespace {

using testing::StillOnWaveletPage;

void Undo(Session& s, int times = 1) {
    for (int i = 0; i < times; ++i) s.Dispatch("Undo", Event::Click);
}
void Redo(Session& s, int times = 1) {
    for (int i = 0; i < times; ++i) s.Dispatch("Redo", Event::Click);
}
void Mouse(Session& s, const char* picture, Event ev, int x, int y, MouseButton button = MouseButton::Left) {
    EventArgs e;
    e.Button = button;
    e.X = x;
    e.Y = y;
    s.Dispatch(picture, ev, e);
}

TEST(Undo, TenSliderMovesUndoneRestoreTheFirstPictureExactlyAndRedoneTheLast) {
    StillOnWaveletPage w;
    const Bitmap24 first = w.picture();
    Slider* gains[] = {&w.f().RxSlider3, &w.f().RxSlider4, &w.f().RxSlider5};
    for (int i = 0; i < 10; ++i) w.Set(*gains[i % 3], 14 + 3 * i);
    const Bitmap24 last = w.picture();
    ASSERT_NE(last, first);
    EXPECT_EQ(w.s->undo.UndoCount(), 10u);

    Undo(*w.s, 10);
    EXPECT_EQ(w.picture(), first);
    EXPECT_EQ(w.f().RxSlider3.Value, 10);
    EXPECT_FALSE(w.s->undo.CanUndo());
    Redo(*w.s, 10);
    EXPECT_EQ(w.picture(), last);
    EXPECT_EQ(w.f().RxSlider5.Value, 14 + 3 * 8);
    EXPECT_FALSE(w.s->undo.CanRedo());
}

// Each kind of setting on the page and its tool windows: undone, the picture and the control
// come back; redone, the changed picture does.
TEST(Undo, EverySettingKindComesBackWithItsPicture) {
    struct Case {
        const char* name;
        std::function<void(StillOnWaveletPage&)> change;
    };
    const Case cases[] = {
        {"layer switch", [](StillOnWaveletPage& w) {
             w.f().CheckBox6.Checked = false;
             w.s->Dispatch("CheckBox6", Event::Click);
         }},
        {"contrast", [](StillOnWaveletPage& w) { w.Set(w.f().ContrastSlider, 180); }},
        {"gamma", [](StillOnWaveletPage& w) {
             w.f().Gamma1spin.Value = 1.8;
             w.s->Dispatch("Gamma1spin", Event::Change);
         }},
        {"reset", [](StillOnWaveletPage& w) { w.s->Dispatch("ResetButton", Event::Click); }},
        {"gamma curve point", [](StillOnWaveletPage& w) {
             Mouse(*w.s, "GammaSplineGraph", Event::MouseDown, 60, 150, MouseButton::Right);
             Mouse(*w.s, "GammaSplineGraph", Event::MouseUp, 60, 150, MouseButton::Right);
         }},
    };
    for (const Case& c : cases) {
        StillOnWaveletPage w;
        w.Set(w.f().RxSlider3, 25);
        const Bitmap24 before = w.picture();
        const auto settingsBefore = w.s->undo.Settled();
        c.change(w);
        const Bitmap24 after = w.picture();
        ASSERT_NE(after, before) << c.name;
        Undo(*w.s);
        EXPECT_EQ(w.picture(), before) << c.name;
        EXPECT_EQ(w.s->undo.Settled(), settingsBefore) << c.name;
        Redo(*w.s);
        EXPECT_EQ(w.picture(), after) << c.name;
    }
}

TEST(Undo, OneUserActionIsOneStepAndTheHistoryKeepsTheLastHundred) {
    StillOnWaveletPage w;
    Session& s = *w.s;
    // A drag: tracking, then the release.
    for (int v : {12, 15, 19}) {
        w.f().RxSlider4.Value = v;
        s.Dispatch("RxSlider4", Event::Tracking);
    }
    w.Set(w.f().RxSlider4, 22);
    EXPECT_EQ(s.undo.UndoCount(), 1u);
    // A held handle whose slider knows no tracking: every change joins one step.
    s.undo.BeginGesture();
    for (int v : {10, 20, 30}) w.Set(w.f().Noise1, v);
    s.undo.EndGesture();
    EXPECT_EQ(s.undo.UndoCount(), 2u);
    // A crop drawn: press, moves, release.
    GoToPage(s, kPageFinal);
    Mouse(s, "RotateImage", Event::MouseDown, 40, 30);
    Mouse(s, "RotateImage", Event::MouseMove, 80, 60);
    Mouse(s, "RotateImage", Event::MouseMove, 100, 70);
    Mouse(s, "RotateImage", Event::MouseUp, 100, 70);
    EXPECT_EQ(s.undo.UndoCount(), 3u);
    // A new step after undoing forgets what could be redone.
    Undo(s);
    w.Set(w.f().BrightnessSlider, 5);
    EXPECT_FALSE(s.undo.CanRedo());
    for (int i = 0; i < 120; ++i) w.Set(w.f().BrightnessSlider, 6 + i % 50);
    EXPECT_EQ(s.undo.UndoCount(), UndoHistory::kMaxSteps);
}

// Drags on the Final page's picture and curves: one step each, undone and redone exactly.
TEST(Undo, TheFinalPagesCropAndCurvesComeBack) {
    struct Case {
        const char* name;
        const char* control;
        int x0, y0, x1, y1;
    };
    const Case cases[] = {
        {"crop rectangle", "RotateImage", 40, 30, 120, 90},
        {"saturation curve", "Saturationgraph", 90, 50, 90, 10},
    };
    for (const Case& c : cases) {
        StillOnWaveletPage w;
        Session& s = *w.s;
        GoToPage(s, kPageFinal);
        const Bitmap24 plain = w.f().RotateImage.Image;
        Mouse(s, c.control, Event::MouseDown, c.x0, c.y0);
        // A pixel at a time, as the pointer moves.
        const int steps = std::max(std::abs(c.x1 - c.x0), std::abs(c.y1 - c.y0));
        for (int k = 1; k <= steps; ++k)
            Mouse(s, c.control, Event::MouseMove, c.x0 + (c.x1 - c.x0) * k / steps, c.y0 + (c.y1 - c.y0) * k / steps);
        Mouse(s, c.control, Event::MouseUp, c.x1, c.y1);
        const Bitmap24 changed = w.f().RotateImage.Image;
        ASSERT_NE(changed, plain) << c.name;
        EXPECT_EQ(s.undo.UndoCount(), 1u) << c.name;
        Undo(s);
        EXPECT_EQ(w.f().RotateImage.Image, plain) << c.name;
        EXPECT_EQ(s.finalImage.CropLeft, -1) << c.name;
        EXPECT_FALSE(w.f().Cropping.Checked) << c.name;
        Redo(s);
        EXPECT_EQ(w.f().RotateImage.Image, changed) << c.name;
    }
}

// The feature clicked and the alignment points edited on the stack: each pick comes back, and
// what a stack placed by itself is where undoing stops, not a step.
TEST(Undo, TheFeatureAndTheAlignmentPointsComeBack) {
    testing::RankedStills r(4, 200, 160, [](int k, int x, int y) {
        const auto v = uint8_t(120 + int(40 * std::sin(x * 0.3) * std::cos(y * 0.23)) + k);
        return Bgr{v, v, v};
    });
    Session& s = *r.s;
    Mouse(s, "PreviewImage", Event::MouseDown, 100, 80);
    Mouse(s, "PreviewImage", Event::MouseDown, 90, 70);
    Undo(s);
    EXPECT_EQ(std::make_pair(s.ws.AlignX, s.ws.AlignY), std::make_pair(100, 80));
    Redo(s);
    EXPECT_EQ(std::make_pair(s.ws.AlignX, s.ws.AlignY), std::make_pair(90, 70));

    s.form.StackSlider.Value = 1;
    Stack(s);
    const std::size_t automatic = s.points.Points.size();
    ASSERT_GT(automatic, 1u);
    s.Dispatch("APClearButton", Event::Click);
    s.form.APEditMode.Checked = true;
    Mouse(s, "Stackimage", Event::MouseDown, 100, 80);
    ASSERT_EQ(s.points.Points.size(), 1u);
    Undo(s);
    EXPECT_TRUE(s.points.Points.empty());
    Undo(s);
    EXPECT_EQ(s.points.Points.size(), automatic);
    EXPECT_EQ(s.form.Stackimage.Boxes.size(), automatic);
    Redo(s, 2);
    EXPECT_EQ(s.points.Points.size(), 1u);
    // Undoing further goes back past the stack's points to the feature, never to a stack
    // without its points.
    Undo(s, 3);
    EXPECT_EQ(s.points.Points.size(), automatic);
    EXPECT_EQ(s.ws.AlignX, 100);
}

TEST(Undo, ANewInputClearsTheHistory) {
    StillOnWaveletPage w;
    w.Set(w.f().RxSlider3, 30);
    ASSERT_TRUE(w.s->undo.CanUndo());
    w.t.host.Answers.push_back(Answer::No);  // not saved first
    w.t.host.OpenChoices.push_back(FileChoice{{(w.t.appDir / "planet.bmp").string()}, 2});
    w.s->Dispatch("SelectFileButton", Event::Click);
    EXPECT_FALSE(w.s->undo.CanUndo());
    EXPECT_FALSE(w.s->undo.CanRedo());
}

}  // namespace
}  // namespace talvenor
