// A new input replaces the work in hand only once it can be read, and then nothing of the
// previous capture is shown, saved or carried over.
#include <gtest/gtest.h>

#include "generated_capture.h"
#include "imagefiles/bmp_file.h"
#include "session/project_files.h"
#include "worked_session.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::OpenAvi;
using testing::StartedSession;
using testing::WorkUpTo;

capture::CaptureOptions SmallCapture(uint64_t seed) {
    capture::CaptureOptions o;
    o.frames = 10;
    o.width = 200;
    o.height = 160;
    o.seed = seed;
    o.jitter = 1;
    o.format = capture::CaptureFormat::AviGrey;
    return o;
}

// A capture stacked to the end, with a turned and flipped final picture.
struct StackedCapture {
    StartedSession t;
    Session& s = t.Start();
    testing::GeneratedCapture first = testing::WriteAviCapture(t.appDir / "first.avi", SmallCapture(1));
    StackedCapture() {
        OpenAvi(t, first.path);
        WorkUpTo(s, 4, s.ws.ImageWidth / 2, s.ws.ImageHeight / 2, 5);
        s.form.RxSpinEdit4.Value = 30;
        s.form.FlipX.Checked = true;
    }
};

TEST(NewInput, ACancelledPassOnTheNextCaptureLeavesNothingOfThePreviousOne) {
    for (const bool hold : {false, true}) {
        SCOPED_TRACE(hold ? "final settings held" : "final settings fresh");
        StackedCapture w;
        Session& s = w.s;
        ASSERT_TRUE(s.ws.StackReady);
        ASSERT_TRUE(s.form.SaveButton.Enabled);
        s.form.HoldFinal.Checked = hold;

        OpenAvi(w.t, testing::WriteAviCapture(w.t.appDir / "second.avi", SmallCapture(2)).path);
        WorkUpTo(s, 1, s.ws.ImageWidth / 2, s.ws.ImageHeight / 2, 0);
        // Esc during the pass, answered Yes.
        int pumps = 0;
        w.t.host.OnPump = [&] {
            if (++pumps == 3) {
                w.t.host.Answers.push_back(Answer::Yes);
                s.Dispatch("BitBtn2", Event::Click);
            }
        };
        s.Dispatch("Allignallbutton", Event::Click);
        w.t.host.OnPump = nullptr;

        EXPECT_TRUE(s.ws.CancelRequested);
        EXPECT_EQ(s.ws.ProgStatus, 1);  // the feature stays chosen
        EXPECT_FALSE(s.ws.StackReady);
        EXPECT_FALSE(s.form.TabSheet3.TabVisible);
        EXPECT_FALSE(s.form.SaveButton.Enabled);
        EXPECT_FALSE(s.form.SaveBMP2button.Enabled);
        EXPECT_TRUE(s.form.Stackimage.Image.Empty());
        EXPECT_TRUE(s.form.RotateImage.Image.Empty());
        EXPECT_EQ(s.form.RxSpinEdit4.Value, hold ? 30 : 0);
        EXPECT_EQ(s.form.FlipX.Checked, hold);
    }
}

TEST(NewInput, AnInputThatCannotBeReadLeavesTheWorkInHandAsItWas) {
    StackedCapture w;
    Session& s = w.s;
    s.form.PageControl1.ActivePageIndex = 0;  // back on the Input page to open the next one
    const std::string project = ProjectText(s);
    const Bitmap24 stack = s.form.Stackimage.Image;
    const std::string caption = w.t.host.Caption;

    const fs::path text = w.t.appDir / "notes.avi", broken = w.t.appDir / "broken.bmp";
    w.t.WriteFile(text, "these are my observing notes, not a video\n");
    w.t.WriteFile(broken, "BM but nothing after it");
    const struct {
        const char* what;
        std::vector<std::string> files;
        int filter;
        bool dropped;
    } cases[] = {
        {"text named .avi", {text.string()}, 1, false},
        {"damaged still", {broken.string()}, 2, false},
        {"damaged still dropped", {broken.string()}, 2, true},
        {"text named .avi dropped", {text.string()}, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        w.t.host.Messages.clear();
        if (c.dropped) {
            EventArgs drop;
            drop.Files = c.files;
            s.Dispatch("MainForm", Event::FilesDropped, drop);
        } else {
            w.t.host.OpenChoices.push_back(FileChoice{c.files, c.filter});
            s.Dispatch("SelectFileButton", Event::Click);
        }
        ASSERT_FALSE(w.t.host.Messages.empty());
        EXPECT_NE(w.t.host.Messages.back().Text.find("\nThe input in hand stays open."), std::string::npos);
        EXPECT_EQ(ProjectText(s), project);
        EXPECT_EQ(s.form.Stackimage.Image, stack);
        EXPECT_TRUE(s.ws.StackReady);
        EXPECT_TRUE(s.form.SaveButton.Enabled);
        EXPECT_EQ(w.t.host.Caption, caption);
    }
}

TEST(NewInput, ANameTypedIntoTheDialogOpensAsWhatItIsWhateverTheFilter) {
    StartedSession t;
    Session& s = t.Start();
    const std::string avi = testing::WriteAviCapture(t.appDir / "typed.avi", SmallCapture(3)).path;
    Bitmap24 still(40, 30);
    still.Fill(Bgr{10, 20, 30});
    WriteBmp24(t.appDir / "still.bmp", still);

    // The BMP filter showing, an AVI's name typed: the AVI opens, not a series.
    t.host.OpenChoices.push_back(FileChoice{{avi}, 2});
    s.Dispatch("SelectFileButton", Event::Click);
    EXPECT_FALSE(s.ws.IsImageSeries);
    EXPECT_EQ(s.ws.ImageWidth, 200);
    EXPECT_EQ(s.ws.LastFrame, 9);

    // And the other way round: the video filter showing, a still's name typed.
    t.host.OpenChoices.push_back(FileChoice{{(t.appDir / "still.bmp").string()}, 1});
    s.Dispatch("SelectFileButton", Event::Click);
    EXPECT_TRUE(s.ws.IsImageSeries);
    EXPECT_EQ(s.ws.ImageWidth, 40);
}

}  // namespace
}  // namespace talvenor
