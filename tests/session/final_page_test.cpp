#include <gtest/gtest.h>

#include "final/render_final.h"
#include "imagefiles/bmp_file.h"
#include "imagefiles/tiff_file.h"
#include "session/final_page.h"
#include "session/page_change.h"
#include "session/still_on_wavelet_page.h"
#include "session/tool_windows.h"
#include "support/picture_difference.h"

namespace talvenor {
namespace {

using testing::MaxDifference;
using testing::StillOnWaveletPage;

struct OnFinalPage : StillOnWaveletPage {
    OnFinalPage() { GoToPage(*s, kPageFinal); }
    Bitmap24& final() { return s->form.RotateImage.Image; }
    void Mouse(Event ev, MouseButton b, int x, int y) {
        EventArgs e;
        e.Button = b;
        e.X = x;
        e.Y = y;
        s->Dispatch("RotateImage", ev, e);
    }
};

TEST(FinalPage, EnteringRendersTheProcessedImageAndTheControlsReachIt) {
    OnFinalPage p;
    Controls& f = p.f();
    ASSERT_EQ(p.final().Width(), p.s->ws.ImageWidth);
    // Neutral settings: the processed picture through HSV (hues rounded to whole degrees).
    EXPECT_LE(MaxDifference(p.final(), p.picture()), 3);
    EXPECT_FALSE(p.f().Overview.Image.Empty());

    const Bitmap24 plain = p.final();
    f.FlipX.Checked = true;
    p.s->Dispatch("FlipX", Event::Click);
    EXPECT_EQ(p.final(), FlipPicture(plain, true, false));
    f.FlipX.Checked = false;
    p.s->Dispatch("FlipX", Event::Click);
    EXPECT_EQ(p.final(), plain);

    f.ComboBox2.ItemIndex = 6;  // 90 degrees
    p.s->Dispatch("ComboBox2", Event::Change);
    EXPECT_EQ(f.RxSpinEdit4.Value, 90);
    EXPECT_EQ(p.final().Width(), plain.Width());
    EXPECT_NE(p.final(), plain);
    f.ASSwitcher1.Value = 0;
    p.s->Dispatch("ASSwitcher1", Event::Change);
    EXPECT_EQ(p.final(), plain);

    f.Lightnessslider.Value = 40;
    p.s->Dispatch("Lightnessslider", Event::Change);
    EXPECT_EQ(f.Lightlabel.Caption, "lightness  :40");
    EXPECT_GT(p.final().Pixel(120, 90).g, plain.Pixel(120, 90).g);
}

TEST(FinalPage, TheCropRectangleIsDrawnAndAppliedToThe8BitSaveOnly) {
    OnFinalPage p;
    Controls& f = p.f();
    const Bitmap24 plain = p.final();
    p.Mouse(Event::MouseDown, MouseButton::Left, 150, 120);
    p.Mouse(Event::MouseMove, MouseButton::Left, 60, 40);
    EXPECT_EQ(f.Croppedarea.Caption, "x:150,y:120 w:90 h:80");
    p.Mouse(Event::MouseUp, MouseButton::Left, 60, 40);
    EXPECT_TRUE(f.Cropping.Visible);
    EXPECT_TRUE(f.Cropping.Checked);
    EXPECT_NE(p.final(), plain);  // the outline shows

    // Saved as "result.png" with type BMP: result.bmp, the rectangle only, without the outline.
    const auto dir = p.t.appDir.path();
    p.t.host.SaveChoices.push_back(FileChoice{{(dir / "result.png").string()}, 1});
    p.s->Dispatch("BitBtn8", Event::Click);
    const Bitmap24 saved = ReadBmp(dir / "result.bmp");
    ASSERT_EQ(saved.Width(), 90);
    ASSERT_EQ(saved.Height(), 80);
    EXPECT_EQ(saved.Pixel(10, 10), plain.Pixel(70, 50));
    // The 16-bit save ignores the crop; ".tif" is saved as default.tif.
    p.t.host.SaveChoices.push_back(FileChoice{{(dir / ".tif").string()}, 4});
    p.s->Dispatch("BitBtn8", Event::Click);
    TTIFFBitMap tiff;
    LoadFromFile(tiff, dir / "default.tif");
    EXPECT_EQ(tiff.Width(), p.s->ws.ImageWidth);
    // The clipboard takes what the save takes.
    p.s->Dispatch("BitBtn9", Event::Click);
    ASSERT_TRUE(p.t.host.Clipboard.has_value());
    EXPECT_EQ(*p.t.host.Clipboard, saved);
    // Without "Use crop" the whole picture.
    f.Cropping.Checked = false;
    p.s->Dispatch("BitBtn9", Event::Click);
    EXPECT_EQ(*p.t.host.Clipboard, plain);
}

}  // namespace
}  // namespace talvenor

namespace talvenor {
namespace {

TEST(FinalPage, ResetHslAndTheHuePickFromThePicture) {
    OnFinalPage p;
    Controls& f = p.f();
    const Bitmap24 plain = p.final();
    f.HueSlider.Value = 40;
    p.s->Dispatch("HueSlider", Event::Change);
    EXPECT_NE(p.final(), plain);
    p.s->Dispatch("Button7", Event::Click);
    EXPECT_EQ(f.HueSlider.Value, 0);
    EXPECT_EQ(f.Huelabel.Caption, "Hue        :0");
    EXPECT_EQ(p.final(), plain);

    // With the curve window shown, a right click on a coloured pixel adds its hue to the curve.
    f.AdvancedHLS.Checked = true;
    p.s->Dispatch("AdvancedHLS", Event::Click);
    ASSERT_TRUE(f.HLSWindow.Visible);
    const int before = p.s->finalImage.HueSpline.PointCount();
    p.Mouse(Event::MouseDown, MouseButton::Right, 150, 95);
    EXPECT_EQ(p.s->finalImage.HueSpline.PointCount(), before + 1);
    // Turned, the picture's pixels are not the image's: no pick.
    f.RxSpinEdit4.Value = 30;
    p.Mouse(Event::MouseDown, MouseButton::Right, 130, 95);
    EXPECT_EQ(p.s->finalImage.HueSpline.PointCount(), before + 1);
}

}  // namespace
}  // namespace talvenor
