#include <gtest/gtest.h>

#include "final/render_final.h"
#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "session/final_page.h"
#include "session/input_selection.h"
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

TEST(FinalPage, TheCropRectangleIsDrawnAndAppliedToEverySave) {
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
    // The 16-bit saves take the same rectangle: TIFF, PNG and the FITS channel files.
    p.t.host.SaveChoices.push_back(FileChoice{{(dir / ".tif").string()}, 4});
    p.s->Dispatch("BitBtn8", Event::Click);
    p.t.host.SaveChoices.push_back(FileChoice{{(dir / "crop.png").string()}, 5});
    p.s->Dispatch("BitBtn8", Event::Click);
    p.t.host.SaveChoices.push_back(FileChoice{{(dir / "crop.fit").string()}, 3});
    p.s->Dispatch("BitBtn8", Event::Click);
    TTIFFBitMap tiff, png;
    LoadFromFile(tiff, dir / "default.tif");
    ToWideBitmap(ReadPng(dir / "crop.png"), png);
    ASSERT_EQ(tiff.Width(), 90);
    ASSERT_EQ(tiff.Height(), 80);
    EXPECT_EQ(png.Wide, tiff.Wide);
    EXPECT_LE(std::abs(tiff.Sample(10, 10, 1) / 256 - int(saved.Pixel(10, 10).g)), 2);
    const char* channels[] = {"crop_R.fit", "crop_G.fit", "crop_B.fit"};
    for (int c = 0; c < 3; ++c) {
        const FitsFile fits = LoadFitsFile(dir / channels[c]);
        ASSERT_EQ(fits.Header.Width, 90) << channels[c];
        ASSERT_EQ(fits.Header.Height, 80) << channels[c];
        EXPECT_EQ(fits.Header.Bitpix, 16) << channels[c];
        // The bottom row is stored first, as the other FITS saves store it.
        const DecodedImage read = ReadFitsImage(dir / channels[c], false);
        EXPECT_NEAR(read.At(10, 10, 0), tiff.Sample(10, 10, c), 1) << channels[c];
    }
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

namespace talvenor {
namespace {

TEST(FinalPage, ACropDraggedPastTheEdgeKeepsTheLastColumnAndRow) {
    OnFinalPage p;
    const int w = p.s->ws.ImageWidth, h = p.s->ws.ImageHeight;
    const Bitmap24 plain = p.final();
    p.Mouse(Event::MouseDown, MouseButton::Left, w - 10, h - 8);
    p.Mouse(Event::MouseMove, MouseButton::Left, w + 40, h + 40);  // the pointer left the picture
    p.Mouse(Event::MouseUp, MouseButton::Left, w + 40, h + 40);
    p.s->Dispatch("BitBtn9", Event::Click);
    ASSERT_TRUE(p.t.host.Clipboard.has_value());
    const Bitmap24& copied = *p.t.host.Clipboard;
    ASSERT_EQ(copied.Width(), 10);
    ASSERT_EQ(copied.Height(), 8);
    EXPECT_EQ(copied.Pixel(9, 7), plain.Pixel(w - 1, h - 1));
}

TEST(FinalPage, TheResizeWindowShowsThePictureWithoutTheCropOutline) {
    OnFinalPage p;
    p.s->Dispatch("Shrink", Event::Click);
    const Bitmap24 before = p.f().ShrinkImage.Image;
    const Bitmap24 shown = p.final();
    p.Mouse(Event::MouseDown, MouseButton::Left, 20, 20);
    p.Mouse(Event::MouseMove, MouseButton::Left, 120, 90);
    p.Mouse(Event::MouseUp, MouseButton::Left, 120, 90);
    ASSERT_NE(p.final(), shown);  // the outline is on the page's picture
    p.s->Dispatch("Shrink", Event::Click);
    EXPECT_EQ(p.f().ShrinkImage.Image, before);
}

TEST(FinalPage, SavesWriteEveryTypeAndSetTheStackSaveBackToAPicture) {
    OnFinalPage p;
    const auto dir = p.t.appDir.path();
    p.f().SaveDialog1.FilterIndex = 4;  // the stack's last save was a TIFF
    p.t.host.SaveChoices.push_back(FileChoice{{(dir / "final.jpg").string()}, 2});
    p.s->Dispatch("BitBtn8", Event::Click);
    const Bitmap24 jpeg = ReadJpeg(dir / "final.jpg");
    EXPECT_EQ(jpeg.Width(), p.s->ws.ImageWidth);
    EXPECT_LE(MaxDifference(jpeg, p.final()), 64);  // JPEG blurs the sharp limb a little
    EXPECT_EQ(p.f().SaveDialog1.FilterIndex, 1);

    // FITS: 16-bit, one file per channel, the image's size.
    p.t.host.SaveChoices.push_back(FileChoice{{(dir / "final.fit").string()}, 3});
    p.s->Dispatch("BitBtn8", Event::Click);
    ASSERT_TRUE(p.f().ColourStack.Checked);
    for (const char* name : {"final_R.fit", "final_G.fit", "final_B.fit"}) {
        const FitsFile fits = LoadFitsFile(dir / name);
        EXPECT_EQ(fits.Header.Width, p.s->ws.ImageWidth) << name;
        EXPECT_EQ(fits.Header.Bitpix, 16) << name;
    }

    // PNG: the 16-bit render the TIFF save writes, whatever extension was typed.
    p.t.host.SaveChoices.push_back(FileChoice{{(dir / "final.tif").string()}, 4});
    p.s->Dispatch("BitBtn8", Event::Click);
    p.t.host.SaveChoices.push_back(FileChoice{{(dir / "final.bmp").string()}, 5});
    p.s->Dispatch("BitBtn8", Event::Click);
    TTIFFBitMap tiff, png;
    LoadFromFile(tiff, dir / "final.tif");
    ToWideBitmap(ReadPng(dir / "final.png"), png);
    EXPECT_EQ(png.Wide, tiff.Wide);
}

TEST(FinalPage, EnteringProcessesTheWholeImageWithOrWithoutPartialProcessing) {
    for (const bool partial : {true, false}) {
        StillOnWaveletPage w(300, 210);
        w.f().Processarea.ItemIndex = 5;  // 128: the area holds a part of the image
        w.s->Dispatch("Processarea", Event::Change);
        w.s->Dispatch("ProcessButton", Event::Click);
        w.Set(w.f().BrightnessSlider, 60);
        w.f().PartialProcessControl.Checked = partial;
        GoToPage(*w.s, kPageFinal);
        // The far corner is outside the area: brightened all the same.
        ASSERT_LT(w.s->ws.ProcessAreaLeft + w.s->ws.ProcessAreaWidth, 290);
        const Bgr corner = w.f().RotateImage.Image.Pixel(295, 205);
        const Bgr stacked = w.f().Stackimage.Image.Pixel(295, 205);
        EXPECT_GT(corner.g, stacked.g + 40) << partial;
    }
}

TEST(FinalPage, TheThumbnailMarksThePartTheViewShows) {
    OnFinalPage p;
    Controls& f = p.f();
    const auto marked = [&f](int x, int y) { return f.Overview.Image.Pixel(x, y) == Bgr{255, 255, 255}; };
    // The view scrolled to (120, 90) showing 60 x 45 picture pixels: a 240-wide picture in a
    // 150-pixel thumbnail is drawn at 0.625.
    f.EventScrollBox1.HorzPosition = 120;
    f.EventScrollBox1.VertPosition = 90;
    f.EventScrollBox1.ViewWidth = 60;
    f.EventScrollBox1.ViewHeight = 45;
    p.s->Dispatch("RotateImage", Event::Scrolled);
    EXPECT_TRUE(marked(75, 60));
    EXPECT_TRUE(marked(80, 56));
    EXPECT_FALSE(marked(20, 20));
}

TEST(FinalPage, ANewInputTakesTheCropRectangleAway) {
    OnFinalPage p;
    p.Mouse(Event::MouseDown, MouseButton::Left, 20, 20);
    p.Mouse(Event::MouseMove, MouseButton::Left, 60, 50);
    p.Mouse(Event::MouseUp, MouseButton::Left, 60, 50);
    ASSERT_TRUE(p.f().Cropping.Checked);
    const auto other = p.t.appDir / "other.bmp";
    WriteBmp24(other, testing::PlanetPicture(200, 150));
    p.t.host.OpenChoices.push_back(FileChoice{{other.string()}, 2});
    p.s->Dispatch("SelectFileButton", Event::Click);
    EXPECT_FALSE(p.f().Cropping.Visible);
    EXPECT_FALSE(p.f().Cropping.Checked);
    EXPECT_LT(p.s->finalImage.CropLeft, 0);
}

}  // namespace
}  // namespace talvenor
