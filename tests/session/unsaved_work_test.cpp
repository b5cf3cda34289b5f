#include <gtest/gtest.h>

#include <functional>

#include "imagefiles/bmp_file.h"
#include "session/project_files.h"
#include "session/still_on_wavelet_page.h"
#include "session/unsaved_work.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::StillOnWaveletPage;

int TimesAsked(const ScriptedHost& host) {
    int n = 0;
    for (const auto& m : host.Messages) n += m.Text == "Save the project first?" && m.Choices == Buttons::YesNoCancel;
    return n;
}

// Every way of opening other work, with a gain changed: asked once; Cancel leaves the work as
// it was, No opens the other still (200 x 150) with nothing unsaved and nothing to undo.
TEST(UnsavedWork, EveryOpeningAsksFirstAndCancelLeavesTheWorkAsItWas) {
    using Open = std::function<void(StillOnWaveletPage&, const std::string&)>;
    const std::pair<const char*, Open> openings[] = {
        {"input dialog", [](StillOnWaveletPage& w, const std::string& file) {
             w.t.host.OpenChoices.push_back(FileChoice{{file}, 2});
             w.s->Dispatch("SelectFileButton", Event::Click);
         }},
        {"dropped files", [](StillOnWaveletPage& w, const std::string& file) {
             w.s->form.PageControl1.ActivePageIndex = 0;  // files are dropped on the Input page
             w.s->Dispatch("MainForm", Event::FilesDropped, EventArgs{.Files = {file}});
         }},
        {"frame list", [](StillOnWaveletPage& w, const std::string& file) {
             w.t.WriteFile(w.t.appDir / "other.rfl", file + "\r\n");
             w.t.host.OpenChoices.push_back(FileChoice{{(w.t.appDir / "other.rfl").string()}, 1});
             w.s->Dispatch("Framelistloadbutton", Event::Click);
         }},
        {"project load", [](StillOnWaveletPage& w, const std::string& file) {
             StillOnWaveletPage other;  // the other still's project, saved by another session
             OpenInput(*other.s, {file}, 2);
             ASSERT_TRUE(SaveProjectClick(*other.s, w.t.appDir / "other.rsp"));
             w.t.host.OpenChoices.push_back(FileChoice{{(w.t.appDir / "other.rsp").string()}, 1});
             w.s->Dispatch("LoadProject", Event::Click);
         }},
    };
    for (const auto& [name, open] : openings)
        for (const Answer answer : {Answer::Cancel, Answer::No}) {
            StillOnWaveletPage w;
            const fs::path other = w.t.appDir / "other.bmp";
            WriteBmp24(other, testing::PlanetPicture(200, 150));
            w.Set(w.f().RxSlider3, 30);
            const Bitmap24 worked = w.picture();
            w.t.host.Answers.push_back(answer);
            open(w, other.string());
            EXPECT_EQ(TimesAsked(w.t.host), 1) << name;
            const bool cancelled = answer == Answer::Cancel;
            EXPECT_EQ(w.s->ws.ImageWidth, cancelled ? 240 : 200) << name;
            EXPECT_EQ(HasUnsavedWork(*w.s), cancelled) << name;
            EXPECT_EQ(w.s->undo.CanUndo(), cancelled) << name;
            if (cancelled) {
                EXPECT_EQ(w.picture(), worked) << name;
            }
        }
}

TEST(UnsavedWork, OnlyChangedWorkIsAskedAboutAndYesSavesFirst) {
    const std::tuple<const char*, std::function<void(StillOnWaveletPage&)>, bool> cases[] = {
        {"just opened", [](StillOnWaveletPage&) {}, false},
        {"gain changed", [](StillOnWaveletPage& w) { w.Set(w.f().RxSlider4, 30); }, true},
        {"changed then saved", [](StillOnWaveletPage& w) {
             w.Set(w.f().RxSlider4, 30);
             ASSERT_TRUE(SaveProjectClick(*w.s, w.t.appDir / "saved.rsp"));
         }, false},
        {"stacked again", [](StillOnWaveletPage& w) { w.s->Dispatch("Stackbutton", Event::Click); }, true},
    };
    for (const auto& [name, work, asked] : cases) {
        StillOnWaveletPage w;
        work(w);
        EXPECT_TRUE(ConfirmDiscardWork(*w.s)) << name;  // the scripted answer: No
        EXPECT_EQ(TimesAsked(w.t.host), asked ? 1 : 0) << name;
    }
    // Yes saves the project first; a save cancelled in its dialog stops the action.
    StillOnWaveletPage w;
    w.Set(w.f().RxSlider4, 30);
    w.t.host.Answers = {Answer::Yes, Answer::Yes};
    EXPECT_FALSE(ConfirmDiscardWork(*w.s));
    w.t.host.SaveChoices.push_back(FileChoice{{(w.t.appDir / "first.rsp").string()}, 1});
    EXPECT_TRUE(ConfirmDiscardWork(*w.s));
    EXPECT_TRUE(fs::exists(w.t.appDir / "first.rsp"));
    EXPECT_FALSE(HasUnsavedWork(*w.s));
}

}  // namespace
}  // namespace talvenor
