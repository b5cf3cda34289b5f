// The status bar's word on the last save: set by a save that wrote its file, by no other, and
// gone once the next operation starts.
#include <gtest/gtest.h>

#include "session_fixture.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

TEST(SavedNote, OnlyAWrittenFileIsReportedAndTheNextOperationTakesItAway) {
    enum Outcome { Written, DialogCancelled, KeptExisting, Failed };
    const struct {
        const char *button, *typed, *written;
        Outcome outcome;
    } cases[] = {
        {"SaveBMP2button", "result.png", "result.bmp", Written}, {"SaveFilter", "mine.rsf", "mine.rsf", Written},
        {"SaveBMP2button", "", "", DialogCancelled},           {"SaveFilter", "", "", DialogCancelled},
        {"SaveBMP2button", "old.bmp", "", KeptExisting},       {"SaveFilter", "old.rsf", "", KeptExisting},
        {"SaveBMP2button", "broken.bmp", "", Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.button) + " " + c.typed);
        testing::StartedSession t;
        Session& s = t.Start();
        s.ws.ImageWidth = 4, s.ws.ImageHeight = 3;  // a processed picture to save
        if (c.outcome == Failed) s.form.ProcessImage.Image = Bitmap24(); else s.form.ProcessImage.Image.SetSize(4, 3);
        s.ws.StackTiff.CreateWide(5, 4);
        s.ws.SavedNote = "Saved /earlier/file.bmp";
        if (c.outcome != DialogCancelled) t.host.SaveChoices.push_back(FileChoice{{(t.appDir / c.typed).string()}, 1});
        if (c.outcome == KeptExisting) t.WriteFile(t.appDir / c.typed, "keep me"), t.host.Answers.push_back(Answer::No);
        if (c.outcome == Failed)
            EXPECT_THROW(s.Dispatch(c.button, Event::Click), Error);
        else
            s.Dispatch(c.button, Event::Click);
        const std::string expected = c.outcome == Written ? "Saved " + (t.appDir / c.written).string() : "";
        EXPECT_EQ(s.ws.SavedNote, expected);
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
