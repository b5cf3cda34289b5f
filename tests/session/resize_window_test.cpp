#include "session/resize_window.h"

#include <gtest/gtest.h>

#include "final/resize_window.h"
#include "imagefiles/bmp_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "session/tool_windows.h"
#include "still_on_wavelet_page.h"
#include "workspace/caption.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

// Every pixel different, so a picture drawn from the wrong source (or at the wrong place) shows.
Bitmap24 Pattern(int width, int height, int seed) {
    Bitmap24 b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixel(x, y, Bgr{uint8_t(x * 7 + seed * 50), uint8_t(y * 5 + x), uint8_t(x * y + seed)});
    return b;
}

// The Wavelet Processing page with a processed picture, and a final picture of another size.
struct ResizeWindowFixture {
    testing::StartedSession t;
    Session& s = t.Start();
    Controls& f = s.form;

    explicit ResizeWindowFixture(int width = 641, int height = 480) {
        f.ProcessImage.Image = Pattern(width, height, 0);
        f.RotateImage.Image = Pattern(30, 20, 1);
        f.PageControl1.ActivePageIndex = kPageWavelets;
    }
    void Choose(int item) {
        f.ComboBox1.ItemIndex = item;
        s.Dispatch(f.ComboBox1.Name, Event::Change);
    }
    void DragWindowTo(int width, int height) {
        f.Shrinkview.Width = width;
        f.Shrinkview.Height = height;
        s.Dispatch(f.Shrinkview.Name, Event::Resized);
    }
    PictureSize Shown() const { return {f.ShrinkImage.Image.Width(), f.ShrinkImage.Image.Height()}; }
    PictureSize Window() const { return {f.Shrinkview.Width, f.Shrinkview.Height}; }
    // The picture is the source resampled with the chosen filter, shown whole, its size in the label.
    void ExpectShows(const Bitmap24& source, PictureSize size, const std::string& what) const {
        Bitmap24 expected(size.Width, size.Height);
        ResamplePicture(source, f.ResizeFilters.ItemIndex, expected);
        EXPECT_EQ(f.ShrinkImage.Image, expected) << what;
        EXPECT_EQ((PictureSize{f.ShrinkImage.Width, f.ShrinkImage.Height}), size) << what;
        EXPECT_EQ(f.Imagesize.Caption, "Imagesize: " + std::to_string(size.Width) + "x" + std::to_string(size.Height)) << what;
    }
};

TEST(ResizeWindow, ResizeOnEitherPageOpensItsPictureAt100Percent) {
    const struct {
        const char* button;
        int page;
        PictureSize window;
    } cases[] = {{"BitBtn11", kPageWavelets, {841, 504}}, {"Shrink", kPageFinal, {230, 390}}};
    for (const auto& c : cases) {
        ResizeWindowFixture r;
        r.f.ComboBox1.ItemIndex = 5;
        r.f.PageControl1.ActivePageIndex = c.page;
        r.s.Dispatch(c.button, Event::Click);
        const Bitmap24& source = c.page == kPageFinal ? r.f.RotateImage.Image : r.f.ProcessImage.Image;
        EXPECT_EQ(r.f.ComboBox1.Text(), "100%") << c.button;
        r.ExpectShows(source, {source.Width(), source.Height()}, c.button);
        EXPECT_EQ(r.Window(), c.window) << c.button;
        EXPECT_TRUE(r.f.Shrinkview.Visible) << c.button;
        EXPECT_EQ(r.f.ResizeFilters.Caption, " Filters ") << c.button;
    }
}

TEST(ResizeWindow, ScaleListAndFilterChoiceRedrawThePicture) {
    const struct {
        int width, height, item;
        PictureSize picture, window;
    } cases[] = {{641, 480, 5, {160, 120}, {360, 390}}, {3, 3, 1, {4, 4}, {204, 390}}, {90, 60, 0, {180, 120}, {380, 390}}};
    for (const auto& c : cases) {
        ResizeWindowFixture r(c.width, c.height);
        r.Choose(c.item);
        const std::string what = r.f.ComboBox1.Text() + " of " + std::to_string(c.width);
        r.ExpectShows(r.f.ProcessImage.Image, c.picture, what);
        EXPECT_EQ(r.Window(), c.window) << what;
        // Another filter redraws at the same size.
        r.f.ResizeFilters.ItemIndex = 2;
        r.s.Dispatch(r.f.ResizeFilters.Name, Event::Click);
        r.ExpectShows(r.f.ProcessImage.Image, c.picture, what + " Lanczos");
    }
}

TEST(ResizeWindow, OtherPagesSizeThePictureWithoutDrawingIt) {
    ResizeWindowFixture r;
    r.f.PageControl1.ActivePageIndex = kPageStacking;
    r.Choose(5);
    EXPECT_EQ(r.f.ShrinkImage.Image, Bitmap24(160, 120));
    EXPECT_EQ(r.f.Imagesize.Caption, "Imagesize: 160x120");
    // A resized window marks its top-left corner and draws nothing more.
    r.DragWindowTo(600, 400);
    Bitmap24 expected(400, 300);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) expected.SetPixel(x, y, ColourOf(0xFFFFFF));
    EXPECT_EQ(r.f.ShrinkImage.Image, expected);
}

TEST(ResizeWindow, DraggedWindowGetsTheLargestPictureOfTheSameAspect) {
    const struct {
        const char* what;
        int width, height;
        PictureSize picture;
        int windowHeight;
    } cases[] = {
        {"wider than the aspect: height-limited", 1200, 424, {800, 400}, 424},
        {"too low: the window grows to its least height", 500, 300, {300, 150}, 390},
        {"no room beside the strip", 150, 500, {0, 0}, 500},
        // An empty picture has no aspect of its own: the source lends it.
        {"room again", 600, 1000, {400, 200}, 1000},
    };
    ResizeWindowFixture r(200, 100);
    r.s.Dispatch("BitBtn11", Event::Click);
    for (const auto& c : cases) {
        r.DragWindowTo(c.width, c.height);
        r.ExpectShows(r.f.ProcessImage.Image, c.picture, c.what);
        EXPECT_EQ(r.Window(), (PictureSize{c.width, c.windowHeight})) << c.what;
        EXPECT_TRUE(r.f.Shrinkview.Enabled) << c.what;
    }
}

TEST(ResizeWindow, EmptySourceGivesAnEmptyPicture) {
    ResizeWindowFixture r;
    r.f.ProcessImage.Image = Bitmap24();
    r.s.Dispatch("BitBtn11", Event::Click);
    EXPECT_EQ(r.Shown(), (PictureSize{0, 0}));
    EXPECT_EQ(r.f.Imagesize.Caption, "Imagesize: 0x0");
    EXPECT_EQ(r.Window(), (PictureSize{200, 390}));
    r.DragWindowTo(800, 600);
    EXPECT_EQ(r.Shown(), (PictureSize{0, 0}));
    // Nothing to save: the writer refuses, no file appears and the caption stays.
    r.t.host.SaveChoices.push_back(FileChoice{{(r.t.appDir / "empty.bmp").string()}, 1});
    EXPECT_THROW(r.s.Dispatch("SaveShrink", Event::Click), Error);
    EXPECT_FALSE(fs::exists(r.t.appDir / "empty.bmp"));
    EXPECT_EQ(r.t.host.Caption, "");
}

TEST(ResizeWindow, OriginalIsTheFrameSizeBeforeResampling) {
    const struct {
        const char* what;
        bool resampled, drizzle, expand;
        float factorAfterOpening;
        PictureSize picture;
    } cases[] = {
        {"resampled by 2: cut at 4096 across", true, false, false, 2.0f, {2048, 1000}},
        {"drizzled: resampling does not count", true, true, false, 1.0f, {2500, 1000}},
        {"not resampled", false, false, false, 1.0f, {2500, 1000}},
        {"expanded stack", false, false, true, 1.0f, {331, 247}},
    };
    for (const auto& c : cases) {
        ResizeWindowFixture r(64, 48);
        r.s.ws.SourceWidth = 2500;
        r.s.ws.SourceHeight = 1000;
        r.s.ws.ResampleFactor = 2.0f;
        r.f.Resampled.Checked = c.resampled;
        r.f.Drizzle2.Checked = c.drizzle;
        r.f.Expandstack.Checked = c.expand;
        r.s.stack.ExpandedWidth = 331;
        r.s.stack.ExpandedHeight = 247;
        r.s.Dispatch("BitBtn11", Event::Click);
        EXPECT_EQ(r.s.ws.ResampleFactor, c.factorAfterOpening) << c.what;
        r.s.Dispatch("Shrinktooriginal", Event::Click);
        r.ExpectShows(r.f.ProcessImage.Image, c.picture, c.what);
        EXPECT_EQ(r.Window(), (PictureSize{c.picture.Width + 129, std::max(390, c.picture.Height + 24)})) << c.what;
    }
}

TEST(ResizeWindow, EveryRebuildWhileShownRedrawsTheProcessedPicture) {
    testing::StillOnWaveletPage w;
    Controls& f = w.f();
    ASSERT_EQ(f.PageControl1.ActivePageIndex, kPageWavelets);
    w.s->Dispatch("BitBtn11", Event::Click);
    const Bitmap24 before = f.ShrinkImage.Image;
    w.Set(f.RxSlider3, 40);
    ASSERT_NE(f.ShrinkImage.Image, before);
    Bitmap24 expected(w.picture().Width(), w.picture().Height());
    ResamplePicture(w.picture(), f.ResizeFilters.ItemIndex, expected);
    EXPECT_EQ(f.ShrinkImage.Image, expected);

    // "Original" keeps its size through a rebuild.
    w.s->Dispatch("Shrinktooriginal", Event::Click);
    ASSERT_EQ(f.ShrinkImage.Image.Width(), 240);
    w.Set(f.RxSlider3, 10);
    EXPECT_EQ(f.ShrinkImage.Image.Width(), 240);
    EXPECT_EQ(f.ShrinkImage.Image.Height(), 180);

    // Closed, the window is left alone.
    w.s->Dispatch("Shrinkview", Event::Close);
    const Bitmap24 closed = f.ShrinkImage.Image;
    w.Set(f.RxSlider3, 30);
    EXPECT_EQ(f.ShrinkImage.Image, closed);
}

TEST(ResizeWindow, SaveWritesTheResizedPictureAsBmpJpegOrPng) {
    ResizeWindowFixture r(40, 30);
    r.s.Dispatch("BitBtn11", Event::Click);
    r.Choose(4);  // 20 x 15
    const struct {
        std::string typed;
        int type;
        std::string written;
    } cases[] = {{"small.png", 1, "small.bmp"}, {".jpg", 2, "default.jpg"}, {"small.bmp", 3, "small.png"}};
    for (const auto& c : cases) {
        r.t.host.Caption.clear();
        r.t.host.SaveChoices.push_back(FileChoice{{(r.t.appDir / c.typed).string()}, c.type});
        r.s.Dispatch("SaveShrink", Event::Click);
        const fs::path path = r.t.appDir / c.written;
        ASSERT_TRUE(fs::exists(path)) << c.written;
        TTIFFBitMap png;
        if (c.type == 3) ToWideBitmap(ReadPng(path), png);
        const Bitmap24 read = c.type == 1 ? ReadBmp(path) : c.type == 2 ? ReadJpeg(path) : png.Picture;
        EXPECT_EQ((PictureSize{read.Width(), read.Height()}), (PictureSize{20, 15})) << c.written;
        EXPECT_TRUE(c.type == 2 || read == r.f.ShrinkImage.Image) << c.written;
        EXPECT_EQ(r.t.host.Caption, MakeCaption(r.s.ws, CaptionKind::Saved)) << c.written;
        EXPECT_EQ(r.t.host.SaveRequests.back().Filter, "Bitmap (*.bmp)|*.bmp|Jpeg (*.jpg)|*.jpg|PNG (*.png)|*.png");
        EXPECT_EQ(r.f.SaveDialog4.FilterIndex, c.type);
    }
}

}  // namespace
}  // namespace talvenor
