// Grading and placing frames on captures like real ones (photon noise, seeing that wanders
// between 0.8 and 3.5 pixels, a pointing that random-walks): the quality must sort the frames
// by their true blur, every frame must be registered where it is, and an alignment pass must
// leave the stack ready for the good frames.
#include <gtest/gtest.h>

#include <cmath>

#include "capture/capture.h"
#include "capture/evaluate.h"
#include "registration/quality.h"
#include "session/generated_capture.h"
#include "session/session_fixture.h"

namespace talvenor {
namespace {

using testing::StartedSession;
namespace fs = std::filesystem;

using Capture = testing::GeneratedCapture;

Capture Realistic(const fs::path& dir, int frames, int width, int height, uint64_t seed,
                  void (*adjust)(capture::CaptureOptions&) = nullptr) {
    capture::CaptureOptions o = capture::RealisticCaptureOptions();
    o.format = capture::CaptureFormat::AviGrey;
    o.frames = frames;
    o.width = width;
    o.height = height;
    o.seed = seed;
    if (adjust) adjust(o);
    return testing::WriteAviCapture(dir / ("realistic" + std::to_string(seed) + ".avi"), o);
}

void Open(StartedSession& t, const std::string& avi) { testing::OpenAvi(t, avi); }

using testing::PickFeature;

double QualityAgainstBlur(const Session& s, const std::vector<capture::FrameTruth>& truth) {
    std::vector<double> quality, sigma;
    for (std::size_t k = 0; k < truth.size(); ++k) {
        quality.push_back(s.ws.Frames[k].Quality);
        sigma.push_back(truth[k].sigma);
    }
    return capture::Spearman(quality, sigma);
}

// Root-mean-square distance of the stored shifts (whole or sub-pixel) from the true motion
// relative to the reference frame, after taking out their common offset (a stack moved as a
// whole is as sharp), in pixels of the frames; over the frames the stack slider keeps (the
// optimizer refines those), or over every frame.
double ShiftError(const Session& s, const std::vector<capture::FrameTruth>& truth, bool sub, double scale = 1,
                  bool stackedOnly = true) {
    const auto& ref = truth[std::size_t(s.ws.ReferenceFrame)];
    std::vector<double> ex, ey;
    const int last = stackedOnly ? s.form.StackSlider.Value : int(truth.size()) - 1;
    for (int r = 0; r <= last; ++r) {
        const std::size_t k = std::size_t(stackedOnly ? s.ws.Ranking[std::size_t(r)].FrameIndex : r);
        const FrameRecord& f = s.ws.Frames[k];
        if (f.Excluded) continue;
        const double x = sub ? f.SubShiftX : f.ShiftX, y = sub ? f.SubShiftY : f.ShiftY;
        ex.push_back(x / scale - (truth[k].dx - ref.dx));
        ey.push_back(y / scale - (truth[k].dy - ref.dy));
    }
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < ex.size(); ++i) mx += ex[i] / double(ex.size()), my += ey[i] / double(ey.size());
    double e2 = 0;
    for (std::size_t i = 0; i < ex.size(); ++i) e2 += (ex[i] - mx) * (ex[i] - mx) + (ey[i] - my) * (ey[i] - my);
    return std::sqrt(e2 / double(ex.size()));
}

TEST(FrameGrading, AutomaticBandSortsFramesByTheirBlurForEveryBoxSize) {
    testing::TempDir dir;
    const Capture cap = Realistic(dir.path(), 80, 400, 320, 21);
    for (int item = 0; item <= 3; ++item) {
        const int box = 32 << item;
        SCOPED_TRACE(std::to_string(box) + "-pixel box");
        StartedSession t;
        Session& s = t.Start();
        s.form.FFTsizeGroup.ItemIndex = item;
        s.Dispatch("FFTsizeGroup", Event::Click);
        Open(t, cap.path);
        ASSERT_EQ(s.ws.AlignBoxSize, box);
        ASSERT_TRUE(s.form.AutoQualityBand.Checked);  // the default
        PickFeature(s);
        // The band was read off the reference box and is there for the user to see.
        ASSERT_TRUE(s.align.ReferenceBand.has_value());
        EXPECT_EQ(s.form.QualityFilter.Value, s.align.ReferenceBand->Band.Start);
        EXPECT_EQ(s.form.QualFilterDX.Value, s.align.ReferenceBand->Band.Width);
        EXPECT_NE(s.form.QualityFilter.Value, 12);  // the designed band sits in the noise here
        s.Dispatch("Allignallbutton", Event::Click);
        const double rho = QualityAgainstBlur(s, cap.truth);
        const double stacked = ShiftError(s, cap.truth, false), all = ShiftError(s, cap.truth, false, 1, false);
        std::printf("[ figures ] %d-pixel box: band %g+%g, Spearman(quality, blur) %.3f, shifts %.2f px rms (all "
                    "frames %.2f)\n",
                    box, s.form.QualityFilter.Value, s.form.QualFilterDX.Value, rho, stacked, all);
        EXPECT_LE(rho, -0.9);
        // The frames a stack takes where they are: whole pixels are 0.4 pixels off at best.
        EXPECT_LT(stacked, box == 32 ? 0.8 : 0.6);
        EXPECT_LT(all, box == 32 ? 2.0 : 1.0);
    }
}

TEST(FrameGrading, TheDesignedBandRanksThisCaptureByNoiseAndAHandSetBandIsTheUsers) {
    testing::TempDir dir;
    const Capture cap = Realistic(dir.path(), 60, 400, 320, 22);
    StartedSession t;
    Session& s = t.Start();
    Open(t, cap.path);
    PickFeature(s);
    const QualityBand automatic = s.align.ReferenceBand->Band;

    // Setting the band by hand (as the spin or --set does) turns the automatic band off, and
    // a new pick then keeps the user's band.
    s.form.QualityFilter.Value = 12;
    s.Dispatch("QualityFilter", Event::Change);
    s.form.QualFilterDX.Value = 5;
    s.Dispatch("QualFilterDX", Event::Change);
    EXPECT_FALSE(s.form.AutoQualityBand.Checked);
    PickFeature(s);
    EXPECT_EQ(s.form.QualityFilter.Value, 12);
    s.Dispatch("Allignallbutton", Event::Click);
    const double designed = QualityAgainstBlur(s, cap.truth);

    // Checking it again brings the reference's band back at once.
    s.form.AutoQualityBand.Checked = true;
    s.Dispatch("AutoQualityBand", Event::Click);
    EXPECT_EQ(s.form.QualityFilter.Value, automatic.Start);
    EXPECT_EQ(s.form.QualFilterDX.Value, automatic.Width);
    s.Dispatch("Allignallbutton", Event::Click);
    const double automaticRho = QualityAgainstBlur(s, cap.truth);
    std::printf("[ figures ] Spearman(quality, blur): designed band %.3f, automatic band %.3f\n", designed, automaticRho);
    EXPECT_GT(designed, -0.5);
    EXPECT_LE(automaticRho, -0.9);
}

TEST(FrameGrading, AfterAPassTheStackSliderSitsAtTheCutAndStackTakesTheGoodFrames) {
    testing::TempDir dir;
    const Capture cap = Realistic(dir.path(), 40, 320, 240, 23);
    StartedSession t;
    Session& s = t.Start();
    Open(t, cap.path);
    PickFeature(s);
    s.Dispatch("Allignallbutton", Event::Click);
    const int cut = AlignAndStackCut(s.ws, s.ws.SelectedCount, s.form.OptimizeQualitySpin.Value * 0.01);
    EXPECT_GE(cut, 1);
    EXPECT_EQ(s.form.StackSlider.Value, cut);
    t.host.Messages.clear();
    s.Dispatch("Stackbutton", Event::Click);
    EXPECT_FALSE(t.host.Showed("Only one frame to stack, continue ??? "));
    EXPECT_TRUE(s.ws.StackReady);
    EXPECT_EQ(s.stack.StackFrameCount, cut + 1);
}

TEST(FrameGrading, PredictedTrackingStoresWhereTheFeatureIs) {
    // A fast drift: the box must follow, and the prediction moves it further ahead.
    testing::TempDir dir;
    const Capture cap = Realistic(dir.path(), 40, 400, 320, 24, [](capture::CaptureOptions& o) {
        o.driftX = 2.5;
        o.driftY = -1.2;
        o.jitter = 0.5;
        o.seeing.walk = 0;
        o.blurMax = 2.0;
    });
    double error[2];
    for (int predict = 0; predict <= 1; ++predict) {
        StartedSession t;
        Session& s = t.Start();
        s.form.PredictTrack.Checked = predict == 1;
        s.form.AutoOptimize.Checked = false;  // the pass's own shifts
        Open(t, cap.path);
        PickFeature(s);
        s.Dispatch("Allignallbutton", Event::Click);
        error[predict] = ShiftError(s, cap.truth, false);
    }
    std::printf("[ figures ] tracking a 2.8 px/frame drift: %.2f px rms, with prediction %.2f px rms\n", error[0], error[1]);
    EXPECT_LT(error[0], 0.8);
    EXPECT_LT(error[1], 0.8);
    EXPECT_LE(error[1], error[0] + 0.1);
}

TEST(FrameGrading, ResampledAndSubPixelShiftsAreFinerThanWholePixels) {
    testing::TempDir dir;
    const Capture cap = Realistic(dir.path(), 30, 320, 240, 25, [](capture::CaptureOptions& o) { o.blurMax = 2.0; });
    auto run = [&](void (*setup)(Session&), bool sub, double scale) {
        StartedSession t;
        Session& s = t.Start();
        Open(t, cap.path);
        setup(s);
        PickFeature(s);
        s.Dispatch("Allignallbutton", Event::Click);
        return ShiftError(s, cap.truth, sub, scale);
    };
    const double whole = run([](Session&) {}, false, 1);
    const double resampled = run(
        [](Session& s) {
            s.form.Resampled.Checked = true;
            s.Dispatch("Resampled", Event::Click);
        },
        false, 2);
    const double sub = run(
        [](Session& s) {
            s.form.SubPixelStack.Checked = true;
            s.Dispatch("SubPixelStack", Event::Click);
        },
        true, 1);
    std::printf("[ figures ] shift error: whole pixels %.2f, resampled x2 %.2f, sub-pixel %.2f px rms\n", whole,
                resampled, sub);
    EXPECT_LE(resampled, whole + 0.05);
    EXPECT_LT(sub, whole);
}

TEST(FrameGrading, TheLostAlignmentClickLandsOnTheFrameInHand) {
    testing::TempDir dir;
    const Capture cap = Realistic(dir.path(), 8, 320, 240, 26);
    StartedSession t;
    Session& s = t.Start();
    t.host.ShowProgressPictures = false;  // as on a screen that has no time for every frame
    Open(t, cap.path);
    PickFeature(s);
    int asked = 0;
    bool sameFrame = false, pressed = false;
    t.host.OnPump = [&] {
        if (s.ws.CurrentFrame == 4 && !pressed) {
            pressed = true;
            s.Dispatch("Haltbutton", Event::Click);
        }
        if (!s.align.WaitingForClick) return;
        ++asked;
        sameFrame = s.form.AlignImage.Image == s.ws.CurrentFrameImage;
        EventArgs click;
        click.X = s.ws.AlignX;
        click.Y = s.ws.AlignY;
        click.Button = MouseButton::Left;
        s.Dispatch("AlignImage", Event::MouseDown, click);
    };
    t.host.Answers.push_back(Answer::Ok);
    s.Dispatch("Allignallbutton", Event::Click);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(sameFrame);

    // Answered No, the question is not asked again at the next frame.
    t.host.Messages.clear();
    pressed = false;
    t.host.OnPump = [&] {
        if (s.ws.CurrentFrame == 2 && !pressed) {
            pressed = true;
            s.Dispatch("Haltbutton", Event::Click);
        }
    };
    t.host.Answers.push_back(Answer::No);
    s.Dispatch("Allignallbutton", Event::Click);
    int questions = 0;
    for (const auto& m : t.host.Messages) questions += m.Text.find("Is the alignment lost") != std::string::npos;
    EXPECT_EQ(questions, 1);
}

TEST(FrameGrading, AlignAndStackKeepsTheProcessingAreaOnTheStack) {
    // Small frames stacked with drizzle, the feature off-centre: the area around it must lie
    // inside the doubled stack.
    testing::TempDir dir;
    const Capture cap = Realistic(dir.path(), 12, 320, 240, 27);
    for (const char* mode : {"plain", "drizzle", "resample"}) {
        SCOPED_TRACE(mode);
        StartedSession t;
        Session& s = t.Start();
        Open(t, cap.path);
        if (std::string(mode) == "drizzle") s.form.Drizzle2.Checked = s.form.Drizzling.Checked = true;
        if (std::string(mode) == "resample") {
            s.form.Resampled.Checked = true;
            s.Dispatch("Resampled", Event::Click);
        }
        EventArgs click;
        click.X = 220;
        click.Y = 150;
        click.Button = MouseButton::Left;
        s.Dispatch("PreviewImage", Event::MouseDown, click);
        ASSERT_EQ(s.ws.ProgStatus, 1);
        s.Dispatch("AlignStackButton", Event::Click);
        ASSERT_TRUE(s.ws.StackReady);
        EXPECT_GE(s.ws.ProcessAreaLeft, 0);
        EXPECT_GE(s.ws.ProcessAreaTop, 0);
        EXPECT_LE(s.ws.ProcessAreaLeft + s.ws.ProcessAreaWidth, s.ws.ImageWidth);
        EXPECT_LE(s.ws.ProcessAreaTop + s.ws.ProcessAreaHeight, s.ws.ImageHeight);
    }
}

}  // namespace
}  // namespace talvenor
