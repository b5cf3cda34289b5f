#include <gtest/gtest.h>

#include "capture/avi_writer.h"
#include "imagefiles/bmp_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/tiff_file.h"
#include "session/input_selection.h"
#include "session/ranked_stills.h"
#include "session/session_fixture.h"
#include "session/stacking_handlers.h"
#include "stacking/stack_selection.h"
#include "stacking/stacker.h"

namespace talvenor {
namespace {

using testing::StartedSession;
namespace fs = std::filesystem;

// A series of frames of one level each (frame k has green base + 10 k), ranked in frame order.
struct Series : testing::RankedStills {
    Series(int frames, int width, int height, int base = 40, bool colour = false)
        : RankedStills(frames, width, height, [base](int k, int, int) {
              const uint8_t v = uint8_t(base + 10 * k);
              return Bgr{uint8_t(v / 2), v, uint8_t(std::min(255, v + 20))};
          }) {
        s->form.ColourStack.Checked = colour;  // after opening, which sets it from the frames
        s->form.QualStack.Checked = false;
    }
};

TEST(Stacker, StackSizesForExpandDrizzleAndResample) {
    {
        Series a(3, 640, 40);
        a.s->ws.Frames[0].ShiftX = -3;
        a.s->ws.Frames[1].ShiftX = 5;
        a.s->form.Expandstack.Checked = true;
        Stack(*a.s);
        EXPECT_EQ(a.s->ws.ImageWidth, 647);
        EXPECT_EQ(a.s->form.Stackimage.Image.Width(), 647);
        // The later pages' pictures follow the stack, the thumbnail keeps its shape in 150.
        EXPECT_EQ(a.s->form.ProcessImage.Image.Width(), 647);
        EXPECT_EQ(a.s->form.RotateImage.Image.Height(), 39);
        EXPECT_EQ(a.s->form.Overview.Image.Width(), 150);
        EXPECT_EQ(a.s->form.Overview.Image.Height(), 9);
    }
    {
        Series b(2, 320, 240);
        b.s->form.Drizzling.Checked = b.s->form.Drizzle2.Checked = true;
        Stack(*b.s);
        EXPECT_EQ(b.s->ws.ImageWidth, 639);
        EXPECT_EQ(b.s->ws.ImageHeight, 479);
        EXPECT_EQ(b.s->form.Image3.Image.Width(), 639);
        EXPECT_EQ(b.s->form.RotateImage.Image.Width(), 639);
        EXPECT_EQ(b.s->form.Overview.Image.Height(), 112);
    }
    {
        Series c(2, 100, 80);
        c.s->form.Resampled.Checked = true;
        c.s->form.ResampleSpin.Value = 1.5;
        Stack(*c.s);
        EXPECT_EQ(c.s->ws.ImageWidth, 149);
        EXPECT_EQ(c.s->ws.ImageHeight, 119);
        EXPECT_EQ(c.s->form.Image3.Image.Width(), 149);
        EXPECT_EQ(c.s->form.Image3.Image.Height(), 119);
        EXPECT_EQ(c.s->form.ProcessImage.Image.Height(), 119);
        // A flat grey frame stays flat grey when resampled (apart from the filter's edges).
        EXPECT_NEAR(c.s->form.Stackimage.Image.Pixel(70, 60).g, 255, 1);
    }
}

TEST(Stacker, OneFrameAsksUnlessItIsASingleImageAndScalesToFullWhite) {
    Series a(3, 16, 12);
    a.s->form.StackSlider.Value = 0;
    a.t.host.Answers.push_back(Answer::No);
    Stack(*a.s);
    EXPECT_TRUE(a.t.host.Showed("Only one frame to stack, continue ??? "));
    EXPECT_EQ(a.t.host.Messages.back().Choices, Buttons::YesCancel);
    EXPECT_FALSE(a.s->ws.StackReady);
    a.t.host.Answers.push_back(Answer::Cancel);
    Stack(*a.s);
    EXPECT_FALSE(a.s->ws.StackReady);

    a.t.host.Answers.push_back(Answer::Yes);
    Stack(*a.s);
    EXPECT_TRUE(a.s->ws.StackReady);
    // Frame 0 alone (grey 40), scaled so its largest value is 255.
    EXPECT_EQ(a.s->form.Stackimage.Image.Pixel(5, 5), (Bgr{255, 255, 255}));
    EXPECT_EQ(a.s->ws.StackTiff.Sample(5, 5, 1), 65025);
}

TEST(Stacker, DifferenceCutAndExcludedFramesChooseTheFrames) {
    Series a(4, 16, 12);
    Session& s = *a.s;
    for (int k = 0; k < 4; ++k) s.ws.Frames[std::size_t(k)].Difference = float(k * 10);
    s.form.differencecutslider.Value = 100;
    EXPECT_EQ(StackedRanks(s.ctx).size(), 4u);
    s.form.differencecutslider.Value = 0;
    EXPECT_EQ(StackedRanks(s.ctx), std::vector<int>{0});
    s.form.differencecutslider.Value = 50;  // threshold 15
    s.ws.Frames[0].Excluded = 1;
    EXPECT_EQ(StackedRanks(s.ctx), std::vector<int>{1});
}

TEST(Stacker, MonochromeWeightsByQualityColourDoesNot) {
    for (const bool colour : {false, true}) {
        Series a(2, 16, 12, 100, colour);
        Session& s = *a.s;
        s.ws.Frames[0].Quality = 3;  // grey 100
        s.ws.Frames[1].Quality = 1;  // grey 110
        s.form.QualStack.Checked = true;
        s.form.differencecutslider.Value = 100;
        Stack(s);
        // Sums divided by coverage (2 frames): colour the plain mean of the greens; mono the
        // luminance of each frame weighted by its quality.
        const float green = s.ws.StackSum[1].Get(4, 4);
        auto luma = [](float v) { return (v + 20) * 0.299f + v * 0.587f + float(int(v) / 2) * 0.114f; };
        if (colour) EXPECT_NEAR(green, 105.0f, 1e-3);
        else EXPECT_NEAR(green, (3 * luma(100) + luma(110)) / 2, 1e-2);
    }
}

TEST(Stacker, CalibrationStackingReproducesThePerPixelMean) {
    Series a(3, 16, 12, 40);  // grey levels 40, 50, 60
    Session& s = *a.s;
    s.form.ColourStack.Checked = true;
    s.Dispatch("CreateDarkframe", Event::Click);
    EXPECT_FALSE(s.ws.MakingCalibration);
    // Frame 0 is also shown at the cut-off; the stack itself is the mean 50 of the greens.
    EXPECT_EQ(s.form.Stackimage.Image.Pixel(3, 3).g, 50);
    EXPECT_NEAR(s.ws.StackSum[1].Get(3, 3), 50.0f, 1e-3);
    EXPECT_FALSE(s.form.TabSheet4.TabVisible);  // calibration leaves the later pages alone
}

// "Frames to stack" and "n =" name the frames the stack will take, moved together by either
// cut and by a frame left out of the list.
TEST(StackSelection, FramesToStackAndNAgreeWithTheFramesStacked) {
    Series a(5, 16, 12);
    Session& s = *a.s;
    for (int k = 0; k < 5; ++k) s.ws.Frames[std::size_t(k)].Difference = float(k * 10);
    const struct {
        int lastRank, differenceCut, excluded;
        std::size_t stacked;
    } cases[] = {{4, 100, -1, 5}, {2, 100, -1, 3}, {4, 50, -1, 3}, {4, 100, 1, 4}, {0, 100, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lastRank * 1000 + c.differenceCut * 10 + c.excluded);
        for (int k = 0; k < 5; ++k) s.ws.Frames[std::size_t(k)].Excluded = k == c.excluded;
        s.form.StackSlider.Value = c.lastRank;
        s.form.differencecutslider.Value = c.differenceCut;
        s.Dispatch("StackSlider", Event::Change);
        const std::string n = std::to_string(c.stacked);
        EXPECT_EQ(StackedRanks(s.ctx).size(), c.stacked);
        EXPECT_EQ(s.form.StackSlider.Caption, "Frames to stack: " + n);
        const std::string& info = s.form.StackInfoLabel.Caption;
        EXPECT_EQ(info.substr(info.rfind("n = ")), "n = " + n);
    }
}

TEST(StackSelection, LabelsReportTheCutOffs) {
    Series a(3, 16, 12);
    Session& s = *a.s;
    s.ws.AlignBoxSize = 64;
    for (int k = 0; k < 3; ++k) {
        s.ws.Frames[std::size_t(k)].Quality = 0;
        s.ws.Frames[std::size_t(k)].Difference = k == 2 ? 4096 * 0.257f : 1.0f;
    }
    s.form.StackSlider.Value = 0;
    s.form.differencecutslider.Value = 100;
    StackSliderChange(s.ctx, s.stack);
    EXPECT_EQ(s.form.StackInfoLabel.Caption, "Stacking : quality >= 0% , difference <= 100% , n = 1");
    EXPECT_EQ(s.form.RxLabel4.Caption, "Difference Cutoff (blue line) max =0.25");
    // The mean difference per box pixel, cut to hundredths and shown with two decimals at most.
    const struct {
        float perPixel;
        std::string shown;
    } cases[] = {{0.355f, "0.35"}, {0.07f, "0.07"}, {0.3f, "0.3"}, {3.0f, "3"}, {0.005f, "0"}};
    for (const auto& c : cases) {
        s.ws.Frames[2].Difference = 4096 * c.perPixel;
        s.Dispatch("differencecutslider", Event::Change);
        EXPECT_EQ(s.form.RxLabel4.Caption, "Difference Cutoff (blue line) max =" + c.shown) << c.perPixel;
    }
}

TEST(Stacker, RunningQualityLooksAtTheFeatureNotWhereTheOptimizerLeftTheBox) {
    // Detail only around the feature at (110, 80); flat grey elsewhere.
    testing::StartedSession t;
    Session& s = t.Start();
    std::vector<std::string> files;
    uint32_t seed = 12345;
    for (int k = 0; k < 2; ++k) {
        Bitmap24 b(160, 120);
        b.Fill(Bgr{90, 90, 90});
        for (int y = 50; y < 110; ++y)
            for (int x = 80; x < 140; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const uint8_t v = uint8_t(40 + (seed >> 24) % 160);
                b.SetPixel(x, y, Bgr{v, v, v});
            }
        const fs::path p = t.appDir / ("q" + std::to_string(k) + ".bmp");
        WriteBmp24(p, b);
        files.push_back(p.string());
    }
    OpenInput(s, files, 2);
    for (int k = 0; k < 2; ++k) s.ws.Ranking[std::size_t(k)] = {k, 1, 0};
    s.form.StackSlider.MaxValue = s.form.StackSlider.Value = 1;
    s.form.QualStack.Checked = false;
    s.ws.AlignBoxSize = 64;
    s.fft.SetTransformSize(64);
    s.ws.AlignX = 110;
    s.ws.AlignY = 80;
    s.align.AlignBoxX = 3;  // an optimizer run leaves the last frame's base shift here
    s.align.AlignBoxY = -2;
    s.Dispatch("Stackbutton", Event::Click);
    EXPECT_GT(s.ws.Ranking[1].StackValue, 0.01f);
    EXPECT_GT(s.ws.Ranking[2].StackValue, 0.01f);
}

TEST(Stacker, DeinterlacedSeriesAndAviStackAlike) {
    // The same interlaced frames as a BMP series and as an AVI, with fields measured at
    // different shifts: both inputs take one offset per frame by the field index as it
    // stands, so both give the same sums.
    const int frames = 4, w = 40, h = 30;
    std::vector<Bitmap24> pictures;
    uint32_t seed = 777;
    for (int k = 0; k < frames; ++k) {
        Bitmap24 b(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                seed = seed * 1664525u + 1013904223u;
                b.SetPixel(x, y, Bgr{uint8_t(seed >> 24), uint8_t(seed >> 16), uint8_t(seed >> 8)});
            }
        pictures.push_back(b);
    }
    std::vector<std::vector<float>> sums[2];
    for (const bool avi : {false, true}) {
        SCOPED_TRACE(avi ? "avi" : "series");
        testing::StartedSession t;
        Session& s = t.Start();
        if (avi) {
            const fs::path file = t.appDir / "fields.avi";
            capture::AviWriter writer(file, {.width = w, .height = h});
            for (const Bitmap24& b : pictures) writer.AddFrame(b);
            writer.Close();
            OpenInput(s, {file.string()}, 1);
        } else {
            std::vector<std::string> files;
            for (int k = 0; k < frames; ++k) {
                const fs::path p = t.appDir / ("i" + std::to_string(k) + ".bmp");
                WriteBmp24(p, pictures[std::size_t(k)]);
                files.push_back(p.string());
            }
            std::swap(files.front(), files.back());
            OpenInput(s, files, 2);
        }
        s.form.ColourStack.Checked = true;
        s.form.Interlaced.Checked = true;
        for (int k = 0; k < frames; ++k) {
            FrameRecord& r = s.ws.Frames[std::size_t(k)];
            r.ShiftX = k;
            r.ShiftY = 1;
            r.ShiftXa = -k;
            r.ShiftYa = 0;
            s.ws.Ranking[std::size_t(k)] = {k, 1, 0};
        }
        s.form.StackSlider.MaxValue = s.form.StackSlider.Value = frames - 1;
        s.Dispatch("Stackbutton", Event::Click);
        ASSERT_TRUE(s.ws.StackReady);
        for (auto* plane : {&s.ws.ExtraPlane, &s.ws.StackSum[0], &s.ws.StackSum[1], &s.ws.StackSum[2]})
            sums[avi].emplace_back(plane->Data(), plane->Data() + plane->ElementCount());
    }
    for (std::size_t p = 0; p < sums[0].size(); ++p) EXPECT_EQ(sums[0][p], sums[1][p]) << "plane " << p;
}

TEST(StackSaving, EveryTypeWritesAFileOurReadersTakeBack) {
    Series a(2, 16, 12, 100, true);
    Session& s = *a.s;
    Stack(s);
    ASSERT_TRUE(s.ws.StackReady);
    const struct {
        int type;
        std::string typed, written;
    } cases[] = {
        {1, "result.png", "result.bmp"},
        {2, "result", "result.jpg"},
        {3, "stack.fit", "stack_G.fit"},
        {5, "special.fitr", "special_G.fit"},
        {6, "wide.tif", "wide.tif"},
    };
    for (const auto& c : cases) {
        a.t.host.SaveChoices.push_back(FileChoice{{(a.t.appDir / c.typed).string()}, c.type});
        s.Dispatch("SaveButton", Event::Click);
        EXPECT_TRUE(fs::exists(a.t.appDir / c.written)) << c.written;
    }
    EXPECT_EQ(ReadBmp(a.t.appDir / "result.bmp"), s.form.Stackimage.Image);
    TTIFFBitMap wide;
    LoadFromFile(wide, a.t.appDir / "wide.tif");
    EXPECT_EQ(wide.Width(), s.ws.ImageWidth);
    EXPECT_EQ(wide.Sample(3, 3, 0), 65535);  // the largest value becomes full scale
    EXPECT_EQ(a.t.UserValue("Files", "SaveDir"), a.t.appDir.path().string());
    EXPECT_EQ(a.t.host.Caption.rfind("Talvenor processing BMPs: ", 0), 0u);

    // An existing file is replaced only after Yes.
    const auto before = fs::last_write_time(a.t.appDir / "result.bmp");
    a.t.host.Answers.push_back(Answer::No);
    a.t.host.SaveChoices.push_back(FileChoice{{(a.t.appDir / "result.bmp").string()}, 1});
    s.Dispatch("SaveButton", Event::Click);
    EXPECT_TRUE(a.t.host.Showed(" Overwrite existing file ?"));
    EXPECT_EQ(fs::last_write_time(a.t.appDir / "result.bmp"), before);
}

TEST(Drizzle, DropWeightsCoverTheHalfPixelCells) {
    // A drop of 0.8 at the pixel's origin covers cells (0,0), (1,0), (0,1), (1,1).
    auto cells = DrizzleWeights(0, 0, 0.8f);
    ASSERT_EQ(cells.size(), 4u);
    float sum = 0;
    for (const auto& c : cells) sum += c.Weight;
    EXPECT_NEAR(sum, 1.0f, 1e-6);
    EXPECT_NEAR(cells[0].Weight, 0.25f / 0.64f, 1e-5);
    // A full-pixel drop shifted by half a pixel lands in cells 1 and 2 on each axis.
    cells = DrizzleWeights(0.5f, 0.5f, 1.0f);
    for (const auto& c : cells) {
        EXPECT_GE(c.I, 1);
        EXPECT_LE(c.I, 2);
    }
}

}  // namespace
}  // namespace talvenor

namespace talvenor {
namespace {

TEST(SingleImage, IsStackedAtOnceAndOpensTheWaveletPage) {
    testing::StartedSession t;
    Session& s = t.Start();
    Bitmap24 b(40, 30);
    b.Fill(Bgr{20, 120, 200});
    WriteJpeg(t.appDir / "moon.jpg", b);
    t.host.OpenChoices.push_back(FileChoice{{(t.appDir / "moon.jpg").string()}, 4});
    s.Dispatch("SelectFileButton", Event::Click);
    EXPECT_TRUE(s.ws.SingleFrameCase);
    EXPECT_EQ(s.ws.LastFrame, 1);
    EXPECT_TRUE(s.ws.StackReady);
    EXPECT_FALSE(t.host.Showed("Only one frame to stack, continue ??? "));
    EXPECT_EQ(s.form.PageControl1.ActivePageIndex, 3);
    EXPECT_TRUE(s.form.TabSheet4.TabVisible && s.form.TabSheet5.TabVisible);
    EXPECT_EQ(s.ws.AlignX, 20);
    EXPECT_EQ(s.form.Stackimage.Image.Width(), 40);
}

}  // namespace
}  // namespace talvenor
