// The Stacking page's alignment points as a user meets them: stacked by default, placed and
// edited by hand, blended without steps, refused where they cannot work, cancelled.
#include <gtest/gtest.h>

#include <cmath>

#include "imagefiles/bmp_file.h"
#include "session/generated_capture.h"
#include "session/alignment_point_handlers.h"
#include "session/input_selection.h"
#include "session/ranked_stills.h"
#include "session/session_fixture.h"
#include "session/stacking_handlers.h"

namespace talvenor {
namespace {


// Grey stills ranked in frame order; the global stack takes the first two.
struct Stills : testing::RankedStills {
    template <class Paint>
    Stills(int frames, int width, int height, Paint paint)
        : RankedStills(frames, width, height, [paint](int k, int x, int y) {
              const uint8_t v = uint8_t(std::clamp(paint(k, x, y), 0, 255));
              return Bgr{v, v, v};
          }) {
        s->form.StackSlider.Value = 1;
    }
    float At(int x, int y) const { return s->ws.StackSum[1].Get(x, y); }
};

TEST(AlignmentPointsSession, FlatFramesBlendWithoutStepsAndFailedShiftsAreCounted) {
    // Every frame flat, each at its own level: nothing to align on, so every local shift is
    // taken from the neighbours; the points' frames differ from the global stack's, so a hard
    // box edge would show as a step of tens of levels.
    Stills f(6, 200, 160, [](int k, int, int) { return 40 + 30 * k; });
    ASSERT_TRUE(f.s->form.UseAlignmentPoints.Checked);  // on by default
    f.s->form.APKeep.Value = 3;
    Stack(*f.s);
    const AlignmentPointState& ap = f.s->points;
    ASSERT_TRUE(ap.LastStackUsedPoints);
    ASSERT_GT(ap.Points.size(), 10u);
    EXPECT_EQ(ap.FailedShifts, int(ap.Points.size()) * 3);  // every stacked box
    float steepest = 0, lo = 1e9f, hi = 0;
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x + 1 < 200; ++x) {
            steepest = std::max({steepest, std::fabs(f.At(x + 1, y) - f.At(x, y)),
                                 y + 1 < 160 ? std::fabs(f.At(x, y + 1) - f.At(x, y)) : 0.0f});
            lo = std::min(lo, f.At(x, y));
            hi = std::max(hi, f.At(x, y));
        }
    // The points' mean of three frames (70) in the middle; outside them the global mean of two
    // (55), brought to the points' level so that nothing shows where they end.
    EXPECT_NEAR(f.At(100, 80), 70, 0.01);
    EXPECT_NEAR(f.At(0, 0), 70, 0.01);
    EXPECT_LT(hi - lo, 0.01f);
    EXPECT_LT(steepest, 0.01f);
    // The boxes are drawn over the stack picture, never into it.
    EXPECT_EQ(f.s->form.Stackimage.Boxes.size(), ap.Points.size());
    EXPECT_NE(f.s->form.APCountLabel.Caption.find(std::to_string(ap.Points.size())), std::string::npos);
}

TEST(AlignmentPointsSession, OnePointOverTheObjectStacksEachFrameAtItsOwnShift) {
    // Detail moved by a different whole offset in every frame (the offsets average to 0), while
    // the alignment gave every frame the shift 0: the global stack smears it, one point covering
    // it finds each frame's offset and stacks the detail sharp.
    const int offsets[5][2] = {{0, 0}, {2, -1}, {-2, 1}, {1, 2}, {-1, -2}};
    auto detail = [](double x, double y) {
        return 120 + 30 * std::sin(x * 0.31) * std::cos(y * 0.23) + 25 * std::sin(x * 0.11 + y * 0.17) +
               20 * std::cos(x * 0.07 - y * 0.29);
    };
    Stills f(5, 160, 128, [&](int k, int x, int y) {
        return int(std::lrint(detail(x - offsets[k][0], y - offsets[k][1])));
    });
    Session& s = *f.s;
    s.form.StackSlider.Value = 4;
    s.form.UseAlignmentPoints.Checked = false;
    Stack(s);
    double globalError = 0;
    for (int y = 56; y < 72; ++y)
        for (int x = 72; x < 88; ++x) globalError += std::fabs(f.At(x, y) - std::lrint(detail(x, y)));

    s.form.UseAlignmentPoints.Checked = true;
    s.form.APSize.Value = 64;
    s.form.APEditMode.Checked = true;
    s.Dispatch("APClearButton", Event::Click);
    EventArgs click;
    click.Button = MouseButton::Left;
    click.X = 80;
    click.Y = 64;
    s.Dispatch("Stackimage", Event::MouseDown, click);
    ASSERT_EQ(s.points.Points.size(), 1u);
    Stack(s);
    ASSERT_TRUE(s.points.LastStackUsedPoints);
    // Each frame's offset against the others (the smeared reference may sit a fraction of a
    // pixel off the mean position: one common shift of the result, no blur).
    const PointMeasure& first = s.points.Measure(0, 0);
    for (std::size_t slot = 0; slot < s.points.Frames.size(); ++slot) {
        const PointMeasure& m = s.points.Measure(slot, 0);
        const int frame = s.points.Frames[slot];
        EXPECT_NEAR(m.Dx - first.Dx, offsets[frame][0] - offsets[s.points.Frames[0]][0], 0.1) << frame;
        EXPECT_NEAR(m.Dy - first.Dy, offsets[frame][1] - offsets[s.points.Frames[0]][1], 0.1) << frame;
        EXPECT_TRUE(m.Used);
    }
    double pointError = 0;
    for (int y = 56; y < 72; ++y)
        for (int x = 72; x < 88; ++x) pointError += std::fabs(f.At(x, y) - std::lrint(detail(x, y)));
    EXPECT_GT(globalError, 3 * pointError);
}

// Frames measured and added whole side by side (the default) give the measures and the stack, to the bit,
// of frames measured one at a time with their points split over the workers: a capture whose
// seeing bends each area its own way, in colour and grey. Finding every frame's shifts (for the
// table of them) stacks the same as finding only those of the stacked boxes. The lanes read
// only the rows of the points' rectangle: the same as reading whole frames, and the frame left
// in hand is whole.
TEST(AlignmentPointsSession, FramesWorkedSideBySideEqualOneAtATime) {
    for (const bool colour : {true, false}) {
        SCOPED_TRACE(colour ? "colour" : "grey");
        testing::TempDir dir;
        capture::CaptureOptions o = capture::RealisticCaptureOptions();
        o.frames = 24;
        o.width = 240;
        o.height = 200;
        o.colour = colour;
        o.format = colour ? capture::CaptureFormat::AviRgb : capture::CaptureFormat::AviGrey;
        o.seeing.distortion = 1.0;
        o.seeing.patchiness = 0.4;
        const testing::GeneratedCapture cap = testing::WriteAviCapture(dir.path() / "bending.avi", o);
        testing::StartedSession t;
        Session& s = t.Start();
        t.host.ShowProgressPictures = false;  // as on the command line: no frame is shown
        testing::OpenAvi(t, cap.path);
        testing::PickFeature(s);
        s.Dispatch("Allignallbutton", Event::Click);
        s.form.StackSlider.Value = 11;
        std::vector<decltype(s.points.Measures)> measures;
        std::vector<std::vector<float>> stacks;
        std::vector<Bitmap24> inHand;
        // The fourth way is the first again, on the lanes' scratch the stacks before left; the
        // last reads whole frames.
        for (const int way : {0, 1, 2, 0, 3}) {
            s.points.OneFrameAtATime = way == 1;
            s.points.ShiftsOfEveryFrame = way == 2;
            s.ws.ReadFramesWhole = way == 3;
            Stack(s);
            EXPECT_TRUE(s.ws.CurrentFrameRows.IsWhole());
            inHand.push_back(s.ws.CurrentFrameImage);
            ASSERT_TRUE(s.points.LastStackUsedPoints);
            measures.push_back(s.points.Measures);
            const Single2dArray& plane = s.ws.StackSum[1];
            stacks.emplace_back(plane.Data(), plane.Data() + plane.ElementCount());
        }
        ASSERT_GT(s.points.Points.size(), 4u);
        ASSERT_EQ(measures[0].size(), measures[1].size());
        for (std::size_t i = 0; i < measures[0].size(); ++i) {
            const PointMeasure &a = measures[0][i], &b = measures[1][i];
            ASSERT_TRUE(a.Dx == b.Dx && a.Dy == b.Dy && a.Quality == b.Quality && a.Failed == b.Failed &&
                        a.Used == b.Used)
                << "measure " << i;
        }
        EXPECT_TRUE(stacks[0] == stacks[1]);
        int stacked = 0, elsewhere = 0;
        for (std::size_t i = 0; i < measures[0].size(); ++i) {
            const PointMeasure &a = measures[0][i], &b = measures[2][i];
            ASSERT_TRUE(a.Quality == b.Quality && a.Used == b.Used) << "measure " << i;
            if (!a.Used) {
                elsewhere += b.Dx != 0 || b.Dy != 0;
                continue;
            }
            ++stacked;
            ASSERT_TRUE(a.Dx == b.Dx && a.Dy == b.Dy && a.Failed == b.Failed) << "measure " << i;
        }
        EXPECT_GT(stacked, 0);
        EXPECT_GT(elsewhere, 0);
        EXPECT_TRUE(stacks[0] == stacks[2]);
        EXPECT_TRUE(stacks[0] == stacks[3]);
        EXPECT_TRUE(stacks[0] == stacks[4]);
        EXPECT_TRUE(inHand[0] == inHand[4]);
    }
}

TEST(AlignmentPointsSession, ABlackCaptureHasNoPointsAndSaysSo) {
    Stills f(3, 160, 120, [](int, int, int) { return 0; });
    Stack(*f.s);
    EXPECT_TRUE(f.s->ws.StackReady);
    EXPECT_FALSE(f.s->points.LastStackUsedPoints);
    EXPECT_TRUE(f.s->points.Points.empty());
    ASSERT_FALSE(f.t.host.Messages.empty());
    EXPECT_NE(f.t.host.Messages.back().Text.find("No alignment points"), std::string::npos);
}

TEST(AlignmentPointsSession, PointsAreEditedByHandAndKeptForTheNextStack) {
    // A bright textured field: detail everywhere.
    auto texture = [](int k, int x, int y) { return 120 + int(40 * std::sin(x * 0.3) * std::cos(y * 0.23)) + k; };
    Stills f(4, 200, 160, texture);
    Session& s = *f.s;
    s.Dispatch("APPlaceButton", Event::Click);  // nothing to place on before a stack
    EXPECT_NE(f.t.host.Messages.back().Text.find("Stack first"), std::string::npos);

    Stack(s);
    const std::size_t automatic = s.points.Points.size();
    ASSERT_GT(automatic, 4u);
    s.Dispatch("APClearButton", Event::Click);
    EXPECT_TRUE(s.points.Points.empty());
    EXPECT_TRUE(s.form.Stackimage.Boxes.empty());

    EventArgs click;
    click.Button = MouseButton::Left;
    click.X = 100;
    click.Y = 80;
    s.Dispatch("Stackimage", Event::MouseDown, click);  // edit mode off: nothing happens
    EXPECT_TRUE(s.points.Points.empty());
    s.form.APEditMode.Checked = true;
    s.Dispatch("Stackimage", Event::MouseDown, click);
    click.X = 60;
    s.Dispatch("Stackimage", Event::MouseDown, click);
    ASSERT_EQ(s.points.Points.size(), 2u);
    EXPECT_EQ(s.form.Stackimage.Boxes.size(), 2u);
    click.X = 3;  // its box would leave the stack
    const std::size_t before = f.t.host.Messages.size();
    s.Dispatch("Stackimage", Event::MouseDown, click);
    EXPECT_EQ(s.points.Points.size(), 2u);
    EXPECT_GT(f.t.host.Messages.size(), before);
    click.X = 62;  // inside the second box: it goes
    click.Y = 83;
    s.Dispatch("Stackimage", Event::MouseDown, click);
    ASSERT_EQ(s.points.Points.size(), 1u);
    EXPECT_EQ(s.points.Points[0].X, 100);

    // The next stack keeps the user's point; a new box size resizes it.
    Stack(s);
    EXPECT_TRUE(s.points.LastStackUsedPoints);
    EXPECT_EQ(s.points.Points.size(), 1u);
    s.form.APSize.Value = 40;
    s.Dispatch("APSize", Event::Change);
    EXPECT_EQ(s.form.Stackimage.Boxes[0].Size, 40);
    s.Dispatch("APPlaceButton", Event::Click);
    EXPECT_GT(s.points.Points.size(), 1u);
    EXPECT_EQ(s.points.Size, 40);

    // Options the points cannot work with leave the global stack, with a word in the log.
    s.form.Expandstack.Checked = true;
    Stack(s);
    EXPECT_FALSE(s.points.LastStackUsedPoints);
    EXPECT_NE(s.form.Memo2.Lines.back().find("Expand image"), std::string::npos);

    // A new input forgets the points.
    Stills other(2, 100, 80, texture);
    f.t.host.OpenChoices.push_back(FileChoice{{(other.t.appDir / "f1.bmp").string(), (other.t.appDir / "f0.bmp").string()}, 2});
    s.Dispatch("SelectFileButton", Event::Click);
    EXPECT_TRUE(s.points.Points.empty());
    EXPECT_TRUE(s.form.Stackimage.Boxes.empty());
}

TEST(AlignmentPointsSession, AFrameThatCannotBeReadAnyMoreKeepsTheGlobalStack) {
    auto texture = [](int k, int x, int y) { return 120 + int(40 * std::sin(x * 0.3 + k) * std::cos(y * 0.23)); };
    Stills f(5, 160, 120, texture);
    Session& s = *f.s;
    // Gone since the alignment: the global stack (frames 0 and 1) never reads it, the points do.
    std::filesystem::remove(f.t.appDir / "f3.bmp");
    Stack(s);
    EXPECT_TRUE(s.ws.StackReady);
    EXPECT_FALSE(s.ws.StackPassActive);
    EXPECT_FALSE(s.points.LastStackUsedPoints);
    ASSERT_FALSE(f.t.host.Messages.empty());
    EXPECT_NE(f.t.host.Messages.back().Text.find("Alignment points stopped: "), std::string::npos);
    EXPECT_NE(f.t.host.Messages.back().Text.find("f3.bmp"), std::string::npos);
    EXPECT_GT(f.At(80, 60), 0.0f);
}

TEST(AlignmentPointsSession, CancelKeepsTheGlobalStack) {
    auto texture = [](int k, int x, int y) { return 120 + int(40 * std::sin(x * 0.3 + k) * std::cos(y * 0.23)); };
    Stills f(5, 160, 120, texture);
    Session& s = *f.s;
    s.form.UseAlignmentPoints.Checked = false;
    Stack(s);
    std::vector<float> global;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) global.push_back(f.At(x, y));

    s.form.UseAlignmentPoints.Checked = true;
    f.t.host.OnPump = [&s] {
        if (s.form.StackInfoLabel.Caption.rfind("Alignment points: stacking", 0) == 0) s.ws.CancelRequested = true;
    };
    Stack(s);
    f.t.host.OnPump = nullptr;
    EXPECT_TRUE(s.ws.StackReady);
    EXPECT_FALSE(s.points.LastStackUsedPoints);
    std::size_t i = 0, same = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) same += f.At(x, y) == global[i++];
    EXPECT_EQ(same, global.size());
}

}  // namespace
}  // namespace talvenor
