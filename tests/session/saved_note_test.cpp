// The status bar's word on the last save: set by a save that wrote its file, by no other, and
// gone once the next operation starts.
#include <gtest/gtest.h>

#include "session_fixture.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

// A processed picture as the wavelet page leaves it, ready for its "Save".
Session& WithProcessedPicture(testing::StartedSession& t) {
    Session& s = t.Start();
    s.ws.ImageWidth = 4;
    s.ws.ImageHeight = 3;
    s.ws.IsImageSeries = true;
    s.ws.FileNames[0] = (t.appDir / "frame0.bmp").string();
    s.form.ProcessImage.Image.SetSize(4, 3);
    s.ws.StackTiff.CreateWide(5, 4);
    return s;
}

TEST(SavedNote, OnlyAWrittenFileIsReportedAndTheNextOperationTakesItAway) {
    enum class Outcome { Written, DialogCancelled, KeptExisting, Failed };
    const struct {
        const char* button;
        const char* typed;
        Outcome outcome;
        const char* written;  // the file named when written
    } cases[] = {
        {"SaveBMP2button", "result.png", Outcome::Written, "result.bmp"},
        {"SaveFilter", "mine.rsf", Outcome::Written, "mine.rsf"},
        {"SaveBMP2button", "", Outcome::DialogCancelled, ""},
        {"SaveFilter", "", Outcome::DialogCancelled, ""},
        {"SaveBMP2button", "old.bmp", Outcome::KeptExisting, ""},
        {"SaveFilter", "old.rsf", Outcome::KeptExisting, ""},
        {"SaveBMP2button", "broken.bmp", Outcome::Failed, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.button) + " " + c.typed);
        testing::StartedSession t;
        Session& s = WithProcessedPicture(t);
        s.ws.SavedNote = "Saved /earlier/file.bmp";
        if (c.outcome != Outcome::DialogCancelled)
            t.host.SaveChoices.push_back(FileChoice{{(t.appDir / c.typed).string()}, 1});
        if (c.outcome == Outcome::KeptExisting) {
            t.WriteFile(t.appDir / c.typed, "keep me");
            t.host.Answers.push_back(Answer::No);
        }
        if (c.outcome == Outcome::Failed) {
            s.form.ProcessImage.Image = Bitmap24();
            EXPECT_THROW(s.Dispatch(c.button, Event::Click), Error);
        } else {
            s.Dispatch(c.button, Event::Click);
        }
        const std::string expected = c.outcome == Outcome::Written ? "Saved " + (t.appDir / c.written).string() : "";
        EXPECT_EQ(s.ws.SavedNote, expected);
        if (c.outcome != Outcome::Written) continue;

        // Turning a page or moving the mouse is no new operation; a click on a button is.
        s.Dispatch("PageControl1", Event::Change);
        s.Dispatch("ProcessImage", Event::MouseMove);
        EXPECT_EQ(s.ws.SavedNote, expected);
        s.Dispatch("ResetFilter", Event::Click);
        EXPECT_EQ(s.ws.SavedNote, "");
    }
}

}  // namespace
}  // namespace talvenor
