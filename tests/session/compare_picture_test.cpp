// "Compare" shows the unsharpened stack where the result stands: on the Wavelet page as the
// stack, on the Final page turned, flipped and outlined as the final picture is.
#include <gtest/gtest.h>

#include "final/render_final.h"
#include "session/compare_picture.h"
#include "session/page_change.h"
#include "session/still_on_wavelet_page.h"
#include "session/tool_windows.h"
#include "support/picture_difference.h"

namespace talvenor {
namespace {

using testing::MaxDifference;
using testing::StillOnWaveletPage;

TEST(ComparePicture, TheWaveletPageComparesWithTheStackItStartedFrom) {
    StillOnWaveletPage p;
    p.Set(p.f().RxSlider3, 60);
    p.s->Dispatch("ProcessButton", Event::Click);
    const Bitmap24 before = BeforePicture(*p.s);
    EXPECT_EQ(before, p.f().Stackimage.Image);
    EXPECT_EQ(before.Width(), p.picture().Width());
    EXPECT_EQ(before.Height(), p.picture().Height());
    EXPECT_GT(MaxDifference(before, p.picture()), 10);  // the sharpened result is another picture
    GoToPage(*p.s, kPageStacking);
    EXPECT_TRUE(BeforePicture(*p.s).Empty());  // nothing to compare with there
}

TEST(ComparePicture, TheFinalPageComparesAtTheFinalPicturesGeometry) {
    StillOnWaveletPage p;
    GoToPage(*p.s, kPageFinal);
    Controls& f = p.f();
    const Bitmap24& final = f.RotateImage.Image;
    const Bitmap24 upright = BeforePicture(*p.s);
    // Neutral geometry: the stack itself (through the renderer's colour model).
    EXPECT_LE(MaxDifference(upright, f.Stackimage.Image), 3);

    f.RxSpinEdit4.Value = 30;
    p.s->Dispatch("RxSpinEdit4", Event::Change);
    f.FlipX.Checked = true;
    p.s->Dispatch("FlipX", Event::Click);
    EventArgs e;
    e.Button = MouseButton::Left;
    e.X = 40, e.Y = 30;
    p.s->Dispatch("RotateImage", Event::MouseDown, e);
    e.X = 200, e.Y = 150;
    p.s->Dispatch("RotateImage", Event::MouseMove, e);
    p.s->Dispatch("RotateImage", Event::MouseUp, e);
    ASSERT_TRUE(f.Cropping.Checked);

    const Bitmap24 before = BeforePicture(*p.s);
    ASSERT_EQ(before.Width(), final.Width());
    ASSERT_EQ(before.Height(), final.Height());
    // Turned and flipped as the final picture: the corners the rotation leaves black are the
    // same ones, and the crop outline sits where the final picture has it.
    int blackInOneOnly = 0;
    for (int y = 0; y < final.Height(); ++y)
        for (int x = 0; x < final.Width(); ++x)
            blackInOneOnly += (before.Pixel(x, y) == Bgr{0, 0, 0}) != (final.Pixel(x, y) == Bgr{0, 0, 0});
    EXPECT_LT(blackInOneOnly, final.Width());
    p.s->finalImage.CropDrawn = false;
    const Bitmap24 bare = BeforePicture(*p.s);
    p.s->finalImage.CropDrawn = true;
    for (int x : {60, 120, 180}) EXPECT_EQ(before.Pixel(x, 30).g, 255 - bare.Pixel(x, 30).g) << x;
}

}  // namespace
}  // namespace talvenor
