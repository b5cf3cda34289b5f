#include <gtest/gtest.h>

#include <functional>

#include "session/page_change.h"
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
void Mouse(Session& s, const char* picture, Event ev, int x, int y) {
    EventArgs e;
    e.Button = MouseButton::Left;
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

TEST(Undo, TheCropRectangleIsAPickThatComesBack) {
    StillOnWaveletPage w;
    Session& s = *w.s;
    GoToPage(s, kPageFinal);
    const Bitmap24 plain = w.f().RotateImage.Image;
    Mouse(s, "RotateImage", Event::MouseDown, 40, 30);
    Mouse(s, "RotateImage", Event::MouseMove, 120, 90);
    Mouse(s, "RotateImage", Event::MouseUp, 120, 90);
    const Bitmap24 cropped = w.f().RotateImage.Image;
    Undo(s);
    EXPECT_EQ(s.finalImage.CropLeft, -1);
    EXPECT_FALSE(w.f().Cropping.Checked);
    EXPECT_EQ(w.f().RotateImage.Image, plain);
    Redo(s);
    EXPECT_EQ(s.finalImage.CropRight, 120);
    EXPECT_TRUE(w.f().Cropping.Checked);
    EXPECT_EQ(w.f().RotateImage.Image, cropped);
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
