#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "project/project_file.h"
#include "workspace/stored_properties.h"
#include "session/generated_capture.h"
#include "session/input_selection.h"
#include "session/project_files.h"
#include "session/stacking_handlers.h"
#include "session/tool_windows.h"
#include "session/worked_session.h"

namespace talvenor {
namespace {

using testing::StartedSession;
namespace fs = std::filesystem;

// A small capture aligned and stacked as a user would: the feature clicked, "Align", "Stack".
struct WorkedCapture {
    StartedSession t;
    Session* s = nullptr;
    std::string avi;
    explicit WorkedCapture(int status, const std::string& dirName = "capture") {
        s = &t.Start();
        capture::CaptureOptions o;
        o.frames = 12;
        o.width = 160;
        o.height = 120;
        o.format = capture::CaptureFormat::AviRgb;
        o.colour = true;
        const fs::path dir = t.appDir / dirName;
        fs::create_directories(dir);
        avi = testing::WriteAviCapture(dir / "jupiter.avi", o).path;
        testing::OpenAvi(t, avi);
        s->ws.Frames[3].Excluded = 1;
        s->ws.RecountSelected();
        testing::WorkUpTo(*s, status, 80, 60, 5);
    }
};

void ExpectSameFrames(const Workspace& a, const Workspace& b) {
    ASSERT_EQ(a.LastFrame, b.LastFrame);
    for (int i = 0; i <= a.LastFrame; ++i) {
        const FrameRecord &x = a.Frames[std::size_t(i)], &y = b.Frames[std::size_t(i)];
        EXPECT_EQ(x.Excluded, y.Excluded) << i;
        EXPECT_EQ(x.ShiftX, y.ShiftX) << i;
        EXPECT_EQ(x.ShiftY, y.ShiftY) << i;
        EXPECT_EQ(x.Quality, y.Quality) << i;  // exactly: the text reads back to the same float
        EXPECT_EQ(x.Difference, y.Difference) << i;
        EXPECT_EQ(a.Ranking[std::size_t(i)].FrameIndex, b.Ranking[std::size_t(i)].FrameIndex) << i;
    }
    EXPECT_EQ(a.SelectedCount, b.SelectedCount);
    EXPECT_EQ(a.ReferenceFrame, b.ReferenceFrame);
    EXPECT_EQ(a.AlignX, b.AlignX);
    EXPECT_EQ(a.ProgStatus, b.ProgStatus);
}

TEST(Projects, RoundTripsAtEveryStatusReplayingTheStack) {
    for (int status : {0, 2, 4}) {
        SCOPED_TRACE(status);
        WorkedCapture w(status);
        w.s->form.Followme.Checked = false;  // a stored control
        const fs::path project = w.t.appDir / "work.rsp";
        ASSERT_TRUE(SaveProjectClick(*w.s, project));
        const TBigIniFile ini(project);
        EXPECT_EQ(ini.ReadString("Input", "filetype", ""), "AVI");
        EXPECT_EQ(ini.ReadString("Input", "Ex3", ""), "1");
        EXPECT_EQ(ini.ReadString("Input", "stackslider", "<none>") == "<none>", status < 4);
        EXPECT_EQ(ini.ReadString("Input", "layer1", "<none>") == "<none>", status < 4);
        EXPECT_TRUE(ini.ReadSection("IShifts").empty());  // not interlaced

        StartedSession again;
        Session& s = again.Start();
        ASSERT_TRUE(LoadProjectFile(s, project));
        ExpectSameFrames(w.s->ws, s.ws);
        EXPECT_FALSE(s.form.Followme.Checked);
        // Every stored control comes back as it was saved.
        for (std::string_view property : StoredProperties())
            EXPECT_EQ(s.form.GetValue(property), w.s->form.GetValue(property)) << property;
        EXPECT_FALSE(s.form.SelectFramesChecklist.Checked[3]);
        if (status == 0) EXPECT_EQ(s.form.PageControl1.ActivePageIndex, kPageInput);
        if (status == 4) {
            EXPECT_TRUE(s.ws.StackReady);
            EXPECT_EQ(s.form.Stackimage.Image, w.s->form.Stackimage.Image);  // the same stack again
        }
    }
}

TEST(Projects, ImageSeriesRoundTripWithTheirFileNames) {
    for (int status : {0, 4}) {
        SCOPED_TRACE(status);
        StartedSession t;
        Session& s = t.Start();
        capture::CaptureOptions o;
        o.frames = 8;
        o.width = 120;
        o.height = 90;
        o.format = capture::CaptureFormat::Bmp;
        o.writeTruth = false;
        const fs::path dir = t.appDir / "series";
        capture::WriteCapture(dir, o);
        std::vector<std::string> files;
        for (int k = 1; k <= 8; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "capture_%05d.bmp", k);
            files.push_back((dir / name).string());
        }
        std::swap(files.front(), files.back());  // as the input dialog hands them over
        OpenInput(s, files, 2);
        testing::WorkUpTo(s, status, 60, 45, 4);
        const fs::path project = t.appDir / "series.rsp";
        // "Save" proposes the series' first frame as the project's name.
        t.host.SaveChoices.push_back(FileChoice{{project.string()}, 1});
        ASSERT_TRUE(SaveProjectClick(s));
        EXPECT_EQ(t.host.SaveRequests.back().FileName, "capture_00001");
        EXPECT_EQ(TBigIniFile(project).ReadString("Input", "im7", ""), "capture_00008.bmp");

        StartedSession again;
        Session& r = again.Start();
        ASSERT_TRUE(LoadProjectFile(r, project));
        ExpectSameFrames(s.ws, r.ws);
        EXPECT_TRUE(r.ws.IsImageSeries);
        EXPECT_EQ(r.ws.FileNames[7], s.ws.FileNames[7]);
        if (status == 4) EXPECT_EQ(r.form.Stackimage.Image, s.form.Stackimage.Image);
    }
}

TEST(Projects, RankingsHexNumbersLongPathsAndMissingCaptures) {
    // "Rank0" = 2 restores frame 2 first, with its quality; integers may be hexadecimal.
    TBigIniFile ini("");
    ini.WriteString("Input", "sequencelength", "0x3");
    ini.WriteString("Info", "Q2", "0,75");  // another locale's decimal comma
    ini.WriteString("Ranking", "Rank0", "2");
    Workspace ws;
    const ProjectInput p = ReadProjectInput(ini);
    EXPECT_EQ(p.sequenceLength, 3);
    ReadProjectFrames(ini, ws, 3, false, {});
    EXPECT_EQ(ws.Ranking[0].FrameIndex, 2);
    EXPECT_FLOAT_EQ(ws.Ranking[0].RankQuality, 0.75f);
    EXPECT_EQ(ProjectPath("C:\\caps\\a.avi").filename(), "a.avi");

    // A capture folder whose path runs past 255 characters survives the round trip.
    const std::string longName = std::string(150, 'd') + "/" + std::string(120, 'e');
    WorkedCapture w(2, longName);
    const fs::path project = w.t.appDir / "long.rsp";
    ASSERT_TRUE(SaveProjectClick(*w.s, project));
    ASSERT_GT(w.s->form.DirectoryListBox1.Directory.size(), 255u);
    StartedSession again;
    ASSERT_TRUE(LoadProjectFile(again.Start(), project));
    ExpectSameFrames(w.s->ws, again.session->ws);

    // The capture gone: the message, and nothing opened.
    fs::remove(w.avi);
    StartedSession third;
    Session& s = third.Start();
    EXPECT_FALSE(LoadProjectFile(s, project));
    ASSERT_FALSE(third.host.Messages.empty());
    EXPECT_NE(third.host.Messages.back().Text.find("missing, project not loaded"), std::string::npos);
}

TEST(Projects, SaveAsRenamesTheCaptureAfterItsTime) {
    WorkedCapture w(2);
    Session& s = *w.s;
    // The capture recorded on 6 December 2026 at 21:59:02 (local time).
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 6;
    when.tm_hour = 21;
    when.tm_min = 59;
    when.tm_sec = 2;
    when.tm_isdst = -1;
    const auto stamp = std::chrono::system_clock::from_time_t(std::mktime(&when));
    fs::last_write_time(w.avi, std::chrono::file_clock::from_sys(stamp));
    EXPECT_EQ(ModificationStamp(w.avi), "20261206_215902");

    s.form.SaveDialog3.FileName = "night";
    const fs::path project = fs::path(w.avi).parent_path() / "night_20261206_215902.rsp";
    w.t.host.SaveChoices.push_back(FileChoice{{project.string()}, 1});
    ASSERT_TRUE(SaveProjectAsClick(s));
    EXPECT_EQ(w.t.host.SaveRequests.back().FileName, "night_20261206_215902");
    EXPECT_EQ(s.ws.AviFileName, "night_20261206_215902.avi");
    EXPECT_TRUE(fs::exists(fs::path(w.avi).parent_path() / "night_20261206_215902.avi"));
    EXPECT_FALSE(fs::exists(w.avi));
    EXPECT_TRUE(fs::exists(project));

    // A series cannot be saved this way.
    StartedSession series;
    Session& t = series.Start();
    t.ws.IsImageSeries = true;
    EXPECT_FALSE(SaveProjectAsClick(t));
    EXPECT_EQ(series.host.Messages.back().Text, "Only allowed for AVI-projects");
}

}  // namespace
}  // namespace talvenor
