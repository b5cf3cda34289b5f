// What the window reports once an action is over: the status a pass leaves, the Input
// page's frame label against its slider, the page after a new input, Cancel with and
// without a running pass, and where the file dialogs start.
#include <gtest/gtest.h>

#include <filesystem>

#include "session/dialog_dirs.h"
#include "session/generated_capture.h"
#include "session/status_settle.h"
#include "session/tool_windows.h"

namespace talvenor {
namespace {

using testing::StartedSession;
namespace fs = std::filesystem;

constexpr int kFrames = 8;

std::string MakeAvi(const fs::path& dir) {
    capture::CaptureOptions o;
    o.frames = kFrames;
    o.width = 160;
    o.height = 128;
    o.jitter = 1;
    o.format = capture::CaptureFormat::AviGrey;
    return testing::WriteAviCapture(dir / "capture.avi", o).path;
}

void PickCentre(Session& s) {
    EventArgs click;
    click.X = s.ws.ImageWidth / 2;
    click.Y = s.ws.ImageHeight / 2;
    click.Button = MouseButton::Left;
    s.Dispatch("PreviewImage", Event::MouseDown, click);
}

struct Opened {
    testing::TempDir dir;
    StartedSession t;
    Session* s = nullptr;
    Opened() {
        s = &t.Start();
        testing::OpenAvi(t, MakeAvi(dir.path()));
    }
};

TEST(WindowStatus, PassLeavesItsFinalCountWhetherFinishedOrCancelled) {
    const struct {
        const char* what;
        bool autoOptimize;
        int cancelAtPump;  // 0: never
    } cases[] = {
        {"alignment only", false, 0},
        {"alignment and optimizer", true, 0},
        {"cancelled early", false, 3},
    };
    for (const auto& c : cases) {
        Opened o;
        Session& s = *o.s;
        PickCentre(s);
        s.form.AutoOptimize.Checked = c.autoOptimize;
        int pumps = 0;
        o.t.host.OnPump = [&] {
            if (c.cancelAtPump && ++pumps == c.cancelAtPump) s.Dispatch("ProgressCancel", Event::Click);
        };
        s.Dispatch("Allignallbutton", Event::Click);
        const std::string total = " of " + std::to_string(kFrames);
        if (c.cancelAtPump) {
            EXPECT_TRUE(s.ws.CancelRequested) << c.what;
            EXPECT_NE(s.form.label4.Caption, "Processed frame " + std::to_string(kFrames) + total) << c.what;
            EXPECT_EQ(s.form.label4.Caption.rfind("Processed frame ", 0), 0u) << c.what;
        } else {
            EXPECT_EQ(s.form.label4.Caption, "Processed frame " + std::to_string(kFrames) + total) << c.what;
        }
        EXPECT_FALSE(s.form.MessageWindow.Visible) << c.what;
    }
}

TEST(WindowStatus, CancelAsksOnlyWhileAPassRuns) {
    const struct {
        const char* button;
        bool duringPass;
        Answer answer;
        bool asks, cancels;
    } cases[] = {
        {"BitBtn2", false, Answer::Yes, false, false},
        {"ProgressCancel", false, Answer::Yes, false, false},
        {"BitBtn2", true, Answer::Yes, true, true},
        {"BitBtn2", true, Answer::No, true, false},
        {"ProgressCancel", true, Answer::No, false, true},
    };
    for (const auto& c : cases) {
        Opened o;
        Session& s = *o.s;
        PickCentre(s);
        s.form.AutoOptimize.Checked = false;
        o.t.host.Messages.clear();
        bool cancelledInPass = false, countLeft = false;
        if (c.duringPass) {
            int pumps = 0;
            o.t.host.OnPump = [&] {
                if (++pumps != 2) return;
                o.t.host.Answers.push_back(c.answer);
                s.Dispatch(c.button, Event::Click);
                cancelledInPass = s.ws.CancelRequested;
                countLeft = s.form.StatusProgress.Running;
            };
            s.Dispatch("Allignallbutton", Event::Click);
        } else {
            s.Dispatch(c.button, Event::Click);
            cancelledInPass = s.ws.CancelRequested;
        }
        const std::string what = std::string(c.button) + (c.duringPass ? " during a pass" : " idle");
        EXPECT_EQ(o.t.host.Showed("Do you want to cancel ?"), c.asks) << what;
        EXPECT_EQ(cancelledInPass, c.cancels) << what;
        // A pass that goes on keeps its count in the status bar.
        EXPECT_EQ(countLeft, c.duringPass && !c.cancels) << what;
        if (!c.duringPass) {
            EXPECT_TRUE(o.t.host.Messages.empty()) << what;
        }
    }
}

TEST(WindowStatus, FrameLabelFollowsTheSliderAfterPassesAndLoads) {
    Opened o;
    Session& s = *o.s;
    auto agrees = [&s] {
        return s.form.Frames.Caption == s.ws.FrameLabel(s.form.PreviewSlider.Value) &&
               s.form.PreviewSlider.Value <= s.form.PreviewSlider.MaxValue;
    };
    EXPECT_TRUE(agrees()) << "after the input";
    s.form.PreviewSlider.Value = 5;
    s.Dispatch("PreviewSlider", Event::Change);
    EXPECT_TRUE(agrees()) << "after a move";
    PickCentre(s);
    s.form.AutoOptimize.Checked = false;
    s.Dispatch("Allignallbutton", Event::Click);
    EXPECT_TRUE(agrees()) << "after the pass: " << s.form.Frames.Caption;

    // A shorter capture opened with the slider beyond its end.
    s.form.PreviewSlider.Value = kFrames - 1;
    testing::TempDir other;
    capture::CaptureOptions c;
    c.frames = 3;
    c.width = 160;
    c.height = 128;
    c.format = capture::CaptureFormat::AviGrey;
    testing::OpenAvi(o.t, testing::WriteAviCapture(other / "short.avi", c).path);
    EXPECT_LE(s.form.PreviewSlider.Value, 2);
    EXPECT_TRUE(agrees()) << "after a shorter input: " << s.form.Frames.Caption;
}

TEST(WindowStatus, NewInputReturnsToTheInputPageWithItsToolWindows) {
    Opened o;
    Session& s = *o.s;
    PickCentre(s);
    s.form.AutoOptimize.Checked = false;
    s.Dispatch("Allignallbutton", Event::Click);
    s.form.Stacklist.Checked = true;
    s.form.PageControl1.ActivePageIndex = kPageStacking;
    s.Dispatch("PageControl1", Event::Change);
    ASSERT_TRUE(s.form.Stackframeswindow.Visible);

    testing::OpenAvi(o.t, MakeAvi(o.dir.path()));
    EXPECT_EQ(s.form.PageControl1.ActivePageIndex, kPageInput);
    EXPECT_FALSE(s.form.TabSheet3.TabVisible);
    EXPECT_FALSE(s.form.Stackframeswindow.Visible);
    EXPECT_EQ(s.form.SelectFrameswindow.Visible, s.form.ShowFramelist.Checked);
}

TEST(WindowStatus, DialogsStartWhereTheUsersFilesAre) {
    StartedSession t;
    Session& s = t.Start();
    testing::TempDir saved, captureDir;
    // Nothing open: the last folder saved to, else the last input folder.
    s.form.SaveDialog1.InitialDir = saved.path().string();
    EXPECT_EQ(SaveStartDir(s), saved.path().string());
    s.form.SaveDialog1.InitialDir = (saved / "gone").string();
    EXPECT_EQ(SaveStartDir(s), s.form.DirectoryListBox1.Directory);
    EXPECT_EQ(CaptureFolder(s), "");

    // A capture open: its folder, for opening and saving alike.
    s.form.SaveDialog1.InitialDir = saved.path().string();
    testing::OpenAvi(t, MakeAvi(captureDir.path()));
    const std::string folder = fs::absolute(captureDir.path()).string();
    EXPECT_EQ(CaptureFolder(s), folder);
    EXPECT_EQ(OpenStartDir(s), folder);
    EXPECT_EQ(SaveStartDir(s), folder);
    s.form.SaveSub.Checked = false;
    s.Dispatch("SaveButton", Event::Click);  // cancelled: no choice queued
    ASSERT_FALSE(t.host.SaveRequests.empty());
    EXPECT_EQ(t.host.SaveRequests.back().InitialDir, folder);
    s.Dispatch("SelectFileButton", Event::Click);
    ASSERT_FALSE(t.host.OpenRequests.empty());
    EXPECT_EQ(t.host.OpenRequests.back().InitialDir, folder);
}

TEST(WindowStatus, PassDoneText) {
    EXPECT_EQ(PassDoneText(200, 200), "Processed frame 200 of 200");
    EXPECT_EQ(PassDoneText(-1, 0), "Processed frame 0 of 0");
}

}  // namespace
}  // namespace talvenor
