// Registration on generated captures whose true shifts and seeing are known: the pass must
// recover the motion within a pixel and rank the sharp frames first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "capture/capture.h"
#include "input/avi_file.h"
#include "input/avi_frames.h"
#include "registration/feature_finder.h"
#include "session/alignment.h"
#include "session/input_selection.h"
#include "session/generated_capture.h"
#include "session/session_fixture.h"
#include "session/tool_windows.h"

namespace talvenor {
namespace {

using testing::StartedSession;
namespace fs = std::filesystem;

using Capture = testing::GeneratedCapture;

Capture MakeCapture(const fs::path& dir, capture::CaptureOptions o) {
    return testing::WriteAviCapture(dir / ("capture" + std::to_string(o.seed) + ".avi"), o);
}

void Open(StartedSession& t, const std::string& avi) { testing::OpenAvi(t, avi); }

// Where the program would put the feature by itself: strong detail on both axes.
std::pair<int, int> Feature(const Session& s) {
    auto f = FindAlignmentFeature(s.ws.CurrentFrameImage, s.ws.ImageWidth, s.ws.ImageHeight, s.ws.AlignBoxSize,
                                  s.ws.LumaWeight);
    EXPECT_TRUE(f.has_value());
    return f.value_or(std::make_pair(s.ws.ImageWidth / 2, s.ws.ImageHeight / 2));
}

// The user presses Cancel (and confirms) at the pass's `at`-th pump.
void CancelAtPump(StartedSession& t, Session& s, int at) {
    t.host.OnPump = [&t, &s, at, pumps = 0]() mutable {
        if (++pumps == at) {
            t.host.Answers.push_back(Answer::Yes);
            s.Dispatch("BitBtn2", Event::Click);
        }
    };
}

void Pick(Session& s, int x, int y) {
    EventArgs click;
    click.X = x;
    click.Y = y;
    click.Button = MouseButton::Left;
    s.Dispatch("PreviewImage", Event::MouseDown, click);
}

// Share of frames whose recovered shift is within one pixel of the truth, on both axes.
double Recovered(const Session& s, const std::vector<capture::FrameTruth>& truth, bool firstField = false) {
    int good = 0, counted = 0;
    const auto& ref = truth[std::size_t(s.ws.ReferenceFrame)];
    for (std::size_t k = 0; k < truth.size(); ++k) {
        const FrameRecord& f = s.ws.Frames[k];
        if (f.Excluded) continue;
        ++counted;
        const double dx = truth[k].dx - ref.dx, dy = truth[k].dy - ref.dy;
        const int sx = firstField ? f.ShiftXa : f.ShiftX, sy = firstField ? f.ShiftYa : f.ShiftY;
        if (std::fabs(sx - dx) <= 1.0 && std::fabs(sy - dy) <= 1.0) ++good;
    }
    return counted ? double(good) / counted : 0;
}

// Spearman's rank correlation.
double Spearman(const std::vector<double>& a, const std::vector<double>& b) {
    auto ranks = [](const std::vector<double>& v) {
        std::vector<std::size_t> order(v.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) { return v[i] < v[j]; });
        std::vector<double> r(v.size());
        for (std::size_t i = 0; i < order.size(); ++i) r[order[i]] = double(i);
        return r;
    };
    const auto ra = ranks(a), rb = ranks(b);
    const double n = double(a.size());
    double d2 = 0;
    for (std::size_t i = 0; i < a.size(); ++i) d2 += (ra[i] - rb[i]) * (ra[i] - rb[i]);
    return 1 - 6 * d2 / (n * (n * n - 1));
}

TEST(AlignmentPass, RecoversKnownShiftsForEveryBoxSizeAndCorrelation) {
    struct Case {
        int box;  // FFTsizeGroup item
        int correlation;
        bool track;
        double drift;
        const char* name;
        double jitter = 3;
        int width = 400, height = 320;
        double blurMax = 2.5;
        capture::SceneMode mode = capture::SceneMode::Planet;
    } cases[] = {
        // A 32-pixel box suits a small image scale: a smaller planet, moved and blurred by
        // the seeing by fewer pixels.
        {0, 0, true, 0.1, "box 32, cross, tracking a drift", 1.5, 200, 160, 1.5},
        {1, 0, false, 0.0, "box 64, cross, no tracking"},
        {1, 1, true, 0.3, "box 64, phase, tracking a drift"},
        {2, 0, true, 0.2, "box 128, cross, tracking"},
        {3, 1, false, 0.0, "box 256, phase, no tracking"},
        {1, 0, true, 0.2, "Moon, box 64, cross, tracking", 3, 400, 320, 2.5, capture::SceneMode::Moon},
        {2, 1, true, 0.2, "Sun, box 128, phase, tracking", 3, 400, 320, 2.5, capture::SceneMode::Sun},
    };
    testing::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        capture::CaptureOptions o;
        o.frames = 40;
        o.mode = c.mode;
        o.width = c.width;
        o.height = c.height;
        o.blurMin = 0.4 * c.blurMax / 2.5;
        o.blurMax = c.blurMax;
        o.seed = 11 + uint64_t(c.box * 2 + c.correlation);
        o.driftX = c.drift;
        o.driftY = -c.drift / 2;
        o.jitter = c.jitter;
        o.format = capture::CaptureFormat::AviGrey;
        const Capture cap = MakeCapture(dir.path(), o);
        StartedSession t;
        Session& s = t.Start();
        s.form.FFTsizeGroup.ItemIndex = c.box;
        s.Dispatch("FFTsizeGroup", Event::Click);
        s.form.Correlationtype.ItemIndex = c.correlation;
        s.form.Followme.Checked = c.track;
        Open(t, cap.path);
        ASSERT_EQ(s.ws.LastFrame, 39);
        const auto [fx, fy] = Feature(s);
        Pick(s, fx, fy);
        ASSERT_EQ(s.ws.ProgStatus, 1) << (t.host.Messages.empty() ? "" : t.host.Messages.back().Text);
        EXPECT_EQ(s.form.PageControl1.ActivePageIndex, kPageAligning);
        s.Dispatch("Allignallbutton", Event::Click);
        EXPECT_EQ(s.ws.ProgStatus, 3);  // aligned, then optimised
        const double share = Recovered(s, cap.truth);
        EXPECT_GE(share, 0.95) << "recovered " << share;
        std::printf("[ figures ] %s: %.0f%% of shifts within one pixel\n", c.name, share * 100);
    }
}

// The pass reads a band of rows around its boxes (24-bit and grey AVIs, 8-bit SERs): every
// record and the frame left in hand are those of a pass on whole frames, whether the object
// drifts slowly or jumps further than the band reaches (the frame is then read whole), grey or
// colour. A pass cancelled midway leaves the frame it stopped at in hand, whole.
TEST(AlignmentPass, ABandOfRowsAlignsAsWholeFramesDo) {
    const struct {
        capture::CaptureFormat format;
        double jitter;
        const char* name;
    } cases[] = {{capture::CaptureFormat::AviGrey, 3, "grey, steady"},
                 {capture::CaptureFormat::AviRgb, 3, "colour, steady"},
                 {capture::CaptureFormat::AviGrey, 70, "grey, jumping past the band"},
                 {capture::CaptureFormat::SerMono, 3, "grey SER, steady"},
                 {capture::CaptureFormat::SerRgb, 70, "RGB SER, jumping past the band"}};
    testing::TempDir dir;
    std::string firstCapture;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        capture::CaptureOptions o;
        o.frames = 24;
        o.width = 320;
        o.height = 480;
        o.jitter = c.jitter;
        o.format = c.format;
        o.seed = 5 + uint64_t(c.jitter);
        const bool ser = c.format == capture::CaptureFormat::SerMono || c.format == capture::CaptureFormat::SerRgb;
        const Capture cap = testing::WriteAviCapture(dir.path() / (std::string(c.name) + (ser ? ".ser" : ".avi")), o);
        if (firstCapture.empty()) firstCapture = cap.path;
        std::vector<FrameRecord> records[2];
        Bitmap24 inHand[2];
        for (const bool whole : {false, true}) {
            StartedSession t;
            Session& s = t.Start();
            s.ws.ReadFramesWhole = whole;
            t.host.ShowProgressPictures = false;  // as on the command line: no frame is shown
            Open(t, cap.path);
            const auto [fx, fy] = Feature(s);
            Pick(s, fx, fy);
            s.Dispatch("Allignallbutton", Event::Click);
            ASSERT_EQ(s.ws.ProgStatus, 3);
            EXPECT_TRUE(s.ws.CurrentFrameRows.IsWhole());
            records[whole].assign(s.ws.Frames.begin(), s.ws.Frames.begin() + 24);
            inHand[whole] = s.ws.CurrentFrameImage;
        }
        for (int k = 0; k < 24; ++k) {
            const FrameRecord &band = records[0][std::size_t(k)], &full = records[1][std::size_t(k)];
            EXPECT_TRUE(band.ShiftX == full.ShiftX && band.ShiftY == full.ShiftY && band.SubShiftX == full.SubShiftX &&
                        band.SubShiftY == full.SubShiftY && band.Quality == full.Quality &&
                        band.Difference == full.Difference && band.AlignDifference == full.AlignDifference)
                << "frame " << k;
        }
        EXPECT_TRUE(inHand[0] == inHand[1]);
    }
    StartedSession t;
    Session& s = t.Start();
    t.host.ShowProgressPictures = false;
    Open(t, firstCapture);
    const auto [fx, fy] = Feature(s);
    Pick(s, fx, fy);
    CancelAtPump(t, s, 9);
    s.Dispatch("Allignallbutton", Event::Click);
    ASSERT_TRUE(s.ws.CancelRequested);
    EXPECT_TRUE(s.ws.CurrentFrameRows.IsWhole());
    EXPECT_FALSE(bool(s.ws.ReadWholeFrame));
    Bitmap24 frame;
    AviFile(firstCapture).DecodeFrame(s.ws.CurrentFrame, frame);
    EXPECT_GT(s.ws.CurrentFrame, 0);
    EXPECT_LT(s.ws.CurrentFrame, 23);
    EXPECT_TRUE(s.ws.CurrentFrameImage == frame);
}

TEST(AlignmentPass, QualityRankingFollowsTheSeeing) {
    testing::TempDir dir;
    capture::CaptureOptions o;
    o.frames = 80;
    o.width = 320;
    o.height = 240;
    o.seed = 5;
    o.blurMin = 0.5;
    o.blurMax = 3.0;
    o.format = capture::CaptureFormat::AviGrey;
    const Capture cap = MakeCapture(dir.path(), o);
    StartedSession t;
    Session& s = t.Start();
    Open(t, cap.path);
    const auto [fx, fy] = Feature(s);
    Pick(s, fx, fy);
    s.Dispatch("Allignallbutton", Event::Click);
    std::vector<double> quality, sigma;
    for (int k = 0; k < o.frames; ++k) {
        quality.push_back(s.ws.Frames[std::size_t(k)].Quality);
        sigma.push_back(cap.truth[std::size_t(k)].sigma);
    }
    const double rho = Spearman(quality, sigma);
    std::printf("[ figures ] Spearman rank correlation of quality and seeing blur: %.3f\n", rho);
    EXPECT_LE(rho, -0.95);
    // The ranking puts the frame of least blur near the top.
    const int best = s.ws.Ranking[0].FrameIndex;
    EXPECT_LT(cap.truth[std::size_t(best)].sigma, 1.2);
    EXPECT_GE(s.ws.Ranking[0].RankQuality, s.ws.Ranking[1].RankQuality);
    EXPECT_EQ(s.form.StackFramesList.Count(), o.frames);
    EXPECT_EQ(s.form.AlignSlider.MaxValue, o.frames - 1);
    EXPECT_NE(s.form.Memo2.Lines.back().find("Total Time     :"), std::string::npos);
    // The optimizer leaves the frame it did last (the one at the slider's rank) at its usual
    // size, its comparison in a corner.
    const Bitmap24& view = s.form.AlignImage.Image;
    ASSERT_TRUE(s.form.AutoOptimize.Checked);
    ASSERT_EQ(view.Width(), o.width);
    ASSERT_EQ(view.Height(), o.height);
    ReadAviFrames(s.ctx, AviPath(s.ctx), s.ws.Ranking[std::size_t(s.form.AlignSlider.Value)].FrameIndex);
    EXPECT_EQ(view.Pixel(o.width - 1, o.height - 1), s.ws.CurrentFrameImage.Pixel(o.width - 1, o.height - 1));

    // Frames the screen does not show have their quality measured beside the pass, on the
    // quality box (64-pixel alignment box) or on the aligned box itself (128): the same to the bit.
    EXPECT_EQ(s.align.QualitiesBeside, 0);
    for (const int box : {1, 2}) {
        SCOPED_TRACE(box);
        std::vector<float> quality[2];
        for (const bool shown : {true, false}) {
            StartedSession run;
            Session& r = run.Start();
            run.host.ShowProgressPictures = shown;
            r.form.FFTsizeGroup.ItemIndex = box;
            r.Dispatch("FFTsizeGroup", Event::Click);
            Open(run, cap.path);
            Pick(r, fx, fy);
            r.Dispatch("Allignallbutton", Event::Click);
            EXPECT_EQ(r.align.QualitiesBeside > 0, !shown);
            for (int k = 0; k < o.frames; ++k) quality[shown].push_back(r.ws.Frames[std::size_t(k)].Quality);
        }
        EXPECT_TRUE(quality[0] == quality[1]);
    }
}

TEST(AlignmentPass, DeinterlacedInputAlignsBothFields) {
    testing::TempDir dir;
    capture::CaptureOptions o;
    o.frames = 20;
    o.width = 320;
    o.height = 240;
    o.seed = 9;
    o.format = capture::CaptureFormat::AviGrey;
    const Capture cap = MakeCapture(dir.path(), o);
    StartedSession t;
    Session& s = t.Start();
    s.form.Interlaced.Checked = true;
    Open(t, cap.path);
    const auto [fx, fy] = Feature(s);
    Pick(s, fx, fy);
    s.Dispatch("Allignallbutton", Event::Click);
    EXPECT_GE(Recovered(s, cap.truth, true), 0.95);
    EXPECT_GE(Recovered(s, cap.truth, false), 0.95);
    EXPECT_GT(s.ws.Frames[5].QualityA, 0.0f);
    EXPECT_GT(s.ws.Frames[5].Quality, 0.0f);
}

TEST(AlignmentPass, FeatureBorderRuleAndBoxSizeLimits) {
    StartedSession t;
    Session& s = t.Start();
    testing::TempDir dir;
    capture::CaptureOptions o;
    o.frames = 3;
    o.width = 320;
    o.height = 240;
    o.format = capture::CaptureFormat::AviGrey;
    const Capture cap = MakeCapture(dir.path(), o);
    s.form.FFTsizeGroup.ItemIndex = 1;
    Open(t, cap.path);
    ASSERT_EQ(s.ws.AlignBoxSize, 64);
    Pick(s, 160, 120);
    EXPECT_EQ(s.form.FFTWindow.Caption, "FFT spectrum 64x64");  // the box in use, not the start-up one
    for (const auto& [x, accepted] : std::vector<std::pair<int, bool>>{{32, false}, {33, true}, {287, false}, {286, true}}) {
        t.host.Messages.clear();
        Pick(s, x, 120);
        EXPECT_EQ(t.host.Messages.empty(), accepted) << "x = " << x;
        if (!accepted) {
            EXPECT_EQ(t.host.Messages[0].Text, " Alignment feature too close to image border ");
        }
    }
    // Switching to 256 keeps the box inside a 352 x 288 frame.
    s.align.AlignBoxX = 100;
    s.align.AlignBoxY = 40;
    s.form.FFTsizeGroup.ItemIndex = 3;
    s.Dispatch("FFTsizeGroup", Event::Click);
    EXPECT_EQ(s.align.AlignBoxX, 48);
    EXPECT_EQ(s.align.AlignBoxY, 16);
    EXPECT_EQ(s.form.FFTWindow.Caption, "FFT spectrum 256x256");
}

TEST(AlignmentPass, LostAlignmentQuestionManualClickAndCancel) {
    testing::TempDir dir;
    capture::CaptureOptions o;
    o.frames = 12;
    o.width = 320;
    o.height = 240;
    o.jitter = 1;
    o.format = capture::CaptureFormat::AviGrey;
    const Capture cap = MakeCapture(dir.path(), o);
    StartedSession t;
    Session& s = t.Start();
    Open(t, cap.path);
    const int cx = s.ws.ImageWidth / 2, cy = s.ws.ImageHeight / 2;
    Pick(s, cx, cy);
    s.form.AutoOptimize.Checked = false;  // the clicked shifts as given, not refined

    // "Re-Align" pressed during the pass: the next frame asks; OK waits for a click on the
    // feature, which a pump delivers.
    int pumps = 0;
    t.host.OnPump = [&] {
        ++pumps;
        if (pumps == 3) s.Dispatch("Haltbutton", Event::Click);
        if (s.align.WaitingForClick) {
            EventArgs click;
            click.X = cx + 2;
            click.Y = cy - 1;
            click.Button = MouseButton::Left;
            s.Dispatch("AlignImage", Event::MouseDown, click);
        }
    };
    t.host.Answers.push_back(Answer::Ok);
    s.Dispatch("Allignallbutton", Event::Click);
    ASSERT_TRUE(t.host.Showed(" Is the alignment lost ? \n\r Click OK to realign on feature "));
    // The frame asked about takes the clicked position as its feature.
    bool clicked = false;
    for (int k = 0; k < o.frames; ++k)
        if (s.ws.Frames[std::size_t(k)].ShiftX == 2 && s.ws.Frames[std::size_t(k)].ShiftY == -1) clicked = true;
    EXPECT_TRUE(clicked);

    // Cancel mid-pass: no ranking follows, and the AVI is released.
    t.host.Messages.clear();
    t.host.Answers.clear();
    CancelAtPump(t, s, 4);
    s.Dispatch("Allignallbutton", Event::Click);
    EXPECT_TRUE(s.ws.CancelRequested);
    EXPECT_EQ(s.ws.Ranking[0].RankQuality, 0.0f);
    EXPECT_FALSE(s.ws.AlignPassActive);
    EXPECT_FALSE(s.form.MessageWindow.Visible);
}

TEST(AlignmentPass, ManualAlignmentTakesTheUsersClickInEveryFrame) {
    testing::TempDir dir;
    capture::CaptureOptions o;
    o.frames = 4;
    o.width = 320;
    o.height = 240;
    o.format = capture::CaptureFormat::AviGrey;
    const Capture cap = MakeCapture(dir.path(), o);
    StartedSession t;
    Session& s = t.Start();
    Open(t, cap.path);
    const int cx = s.ws.ImageWidth / 2, cy = s.ws.ImageHeight / 2;
    Pick(s, cx, cy);
    s.form.AutoOptimize.Checked = false;  // the clicked shifts as given, not refined
    s.form.ManualAlign.Checked = true;
    s.Dispatch("ManualAlign", Event::Click);
    EXPECT_FALSE(s.form.Misalignwarning.Checked);
    s.form.Followme.Checked = false;
    t.host.OnPump = [&] {
        if (!s.align.WaitingForClick) return;
        EventArgs click;
        click.X = cx + 4;
        click.Y = cy + 3;
        click.Button = MouseButton::Left;
        s.Dispatch("AlignImage", Event::MouseDown, click);
    };
    s.Dispatch("Allignallbutton", Event::Click);
    EXPECT_TRUE(t.host.Showed(" Point at the alignmentfeature and left-click "));
    for (int k = 0; k < o.frames; ++k) {
        EXPECT_EQ(s.ws.Frames[std::size_t(k)].ShiftX, 4) << k;
        EXPECT_EQ(s.ws.Frames[std::size_t(k)].ShiftY, 3) << k;
    }
}

}  // namespace
}  // namespace talvenor
