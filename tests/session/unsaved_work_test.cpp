#include <gtest/gtest.h>

#include <functional>

#include "imagefiles/bmp_file.h"
#include "session/project_files.h"
#include "session/still_on_wavelet_page.h"
#include "session/unsaved_work.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::PlanetPicture;
using testing::StillOnWaveletPage;

constexpr const char* kQuestion = "Save the project first?";

int TimesAsked(const ScriptedHost& host) {
    int n = 0;
    for (const auto& m : host.Messages) n += m.Text == kQuestion && m.Choices == Buttons::YesNoCancel;
    return n;
}

// A second still beside the first, to open in its place.
std::string OtherStill(StillOnWaveletPage& w) {
    const fs::path p = w.t.appDir / "other.bmp";
    WriteBmp24(p, PlanetPicture(200, 150));
    return p.string();
}

// Each way of opening something else, given the file to open.
struct Opening {
    const char* name;
    std::function<void(StillOnWaveletPage&, const std::string&)> open;
};
const Opening kOpenings[] = {
    {"input dialog", [](StillOnWaveletPage& w, const std::string& file) {
         w.t.host.OpenChoices.push_back(FileChoice{{file}, 2});
         w.s->Dispatch("SelectFileButton", Event::Click);
     }},
    {"dropped files", [](StillOnWaveletPage& w, const std::string& file) {
         w.s->form.PageControl1.ActivePageIndex = 0;  // files are dropped on the Input page
         w.s->Dispatch("MainForm", Event::FilesDropped, EventArgs{.Files = {file}});
     }},
    {"frame list", [](StillOnWaveletPage& w, const std::string& file) {
         const fs::path list = w.t.appDir / "other.rfl";
         w.t.WriteFile(list, file + "\r\n");
         w.t.host.OpenChoices.push_back(FileChoice{{list.string()}, 1});
         w.s->Dispatch("Framelistloadbutton", Event::Click);
     }},
    {"project load", [](StillOnWaveletPage& w, const std::string& file) {
         // A project of the other still, saved by another session.
         StillOnWaveletPage other;
         OpenInput(*other.s, {file}, 2);
         const fs::path project = w.t.appDir / "other.rsp";
         ASSERT_TRUE(SaveProjectClick(*other.s, project));
         w.t.host.OpenChoices.push_back(FileChoice{{project.string()}, 1});
         w.s->Dispatch("LoadProject", Event::Click);
     }},
};

TEST(UnsavedWork, EveryOpeningAsksFirstAndCancelLeavesTheWorkAsItWas) {
    for (const Opening& o : kOpenings) {
        for (const Answer answer : {Answer::Cancel, Answer::No}) {
            StillOnWaveletPage w;
            const std::string other = OtherStill(w);
            w.Set(w.f().RxSlider3, 30);
            const Bitmap24 worked = w.picture();
            w.t.host.Answers.push_back(answer);
            o.open(w, other);
            EXPECT_EQ(TimesAsked(w.t.host), 1) << o.name;
            if (answer == Answer::Cancel) {
                EXPECT_EQ(w.s->ws.ImageWidth, 240) << o.name;
                EXPECT_EQ(w.f().RxSlider3.Value, 30) << o.name;
                EXPECT_EQ(w.picture(), worked) << o.name;
                EXPECT_TRUE(HasUnsavedWork(*w.s)) << o.name;
            } else {
                EXPECT_EQ(w.s->ws.ImageWidth, 200) << o.name;
                EXPECT_FALSE(HasUnsavedWork(*w.s)) << o.name;
            }
        }
    }
}

TEST(UnsavedWork, OnlyChangedWorkIsAskedAboutAndYesSavesFirst) {
    struct Case {
        const char* name;
        std::function<void(StillOnWaveletPage&)> work;
        bool asked;
    };
    const Case cases[] = {
        {"just opened", [](StillOnWaveletPage&) {}, false},
        {"gain changed", [](StillOnWaveletPage& w) { w.Set(w.f().RxSlider4, 30); }, true},
        {"changed then undone", [](StillOnWaveletPage& w) {
             w.Set(w.f().RxSlider4, 30);
             w.s->Dispatch("Undo", Event::Click);
         }, true},
        {"changed then saved", [](StillOnWaveletPage& w) {
             w.Set(w.f().RxSlider4, 30);
             ASSERT_TRUE(SaveProjectClick(*w.s, w.t.appDir / "saved.rsp"));
         }, false},
        {"stacked again", [](StillOnWaveletPage& w) { w.s->Dispatch("Stackbutton", Event::Click); }, true},
    };
    for (const Case& c : cases) {
        StillOnWaveletPage w;
        c.work(w);
        EXPECT_EQ(HasUnsavedWork(*w.s), c.asked) << c.name;
        w.t.host.Messages.clear();
        EXPECT_TRUE(ConfirmDiscardWork(*w.s)) << c.name;  // the scripted answer: No
        EXPECT_EQ(TimesAsked(w.t.host), c.asked ? 1 : 0) << c.name;
    }

    // Yes saves the project first; a save cancelled in its dialog stops the action.
    StillOnWaveletPage w;
    w.Set(w.f().RxSlider4, 30);
    w.t.host.Answers.push_back(Answer::Yes);
    EXPECT_FALSE(ConfirmDiscardWork(*w.s));  // no file chosen
    const fs::path project = w.t.appDir / "first.rsp";
    w.t.host.Answers.push_back(Answer::Yes);
    w.t.host.SaveChoices.push_back(FileChoice{{project.string()}, 1});
    EXPECT_TRUE(ConfirmDiscardWork(*w.s));
    EXPECT_TRUE(fs::exists(project));
    EXPECT_FALSE(HasUnsavedWork(*w.s));
}

}  // namespace
}  // namespace talvenor
