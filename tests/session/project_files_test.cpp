#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>
#include <set>

#include "imagefiles/recipe.h"
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

// Work up to `status` as a user would: the feature clicked, "Align" (with the optimizer for
// status 3 and on), "Stack".
void WorkTo(Session& s, int status, int x, int y, int cut) {
    s.form.AutoOptimize.Checked = status != 2;
    testing::WorkUpTo(s, std::min(status, 2), x, y, cut);
    ASSERT_EQ(s.ws.ProgStatus, std::min(status, 3));
    if (status >= 4) {
        s.form.StackSlider.Value = cut;
        Stack(s);
    }
}

// A small capture aligned and stacked as a user would.
struct WorkedCapture {
    StartedSession t;
    Session* s = nullptr;
    std::string avi;
    explicit WorkedCapture(int status, const std::string& dirName = "capture", bool interlaced = false) {
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
        s->form.Interlaced.Checked = interlaced;
        testing::OpenAvi(t, avi);
        s->ws.Frames[3].Excluded = 1;
        s->ws.RecountSelected();
        WorkTo(*s, status, 80, 60, 5);
    }
};

// Records the detail line of the progress window each time it is shown anew.
struct ProgressHost : ScriptedHost {
    const Controls* form = nullptr;
    std::vector<std::string> details;
    void Repaint(const void* what) override {
        ScriptedHost::Repaint(what);
        if (form && what == &form->MessageWindow && form->MessageWindow.Visible &&
            (details.empty() || details.back() != form->Messagewinlabel2.Caption))
            details.push_back(form->Messagewinlabel2.Caption);
    }
};

// A BMP series of `frames` frames written to `dir`, in the order the input dialog hands it over.
std::vector<std::string> SeriesFiles(const fs::path& dir, int frames, capture::CaptureFormat format, const char* ext) {
    capture::CaptureOptions o;
    o.frames = frames;
    o.width = 120;
    o.height = 90;
    o.format = format;
    o.writeTruth = false;
    capture::WriteCapture(dir, o);
    std::vector<std::string> files;
    for (int k = 1; k <= frames; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "capture_%05d.%s", k, ext);
        files.push_back((dir / name).string());
    }
    std::swap(files.front(), files.back());
    return files;
}

void ExpectSameFrames(const Workspace& a, const Workspace& b) {
    ASSERT_EQ(a.LastFrame, b.LastFrame);
    for (int i = 0; i <= a.LastFrame; ++i) {
        const FrameRecord &x = a.Frames[std::size_t(i)], &y = b.Frames[std::size_t(i)];
        EXPECT_EQ(x.Excluded, y.Excluded) << i;
        EXPECT_EQ(x.ShiftX, y.ShiftX) << i;
        EXPECT_EQ(x.ShiftY, y.ShiftY) << i;
        EXPECT_EQ(x.Quality, y.Quality) << i;  // exactly: the text reads back to the same float
        EXPECT_EQ(x.Difference, y.Difference) << i;
        EXPECT_EQ(x.SubShiftX, y.SubShiftX) << i;
        EXPECT_EQ(x.SubShiftY, y.SubShiftY) << i;
        EXPECT_EQ(x.ShiftXa, y.ShiftXa) << i;
        EXPECT_EQ(x.ShiftYa, y.ShiftYa) << i;
        EXPECT_EQ(x.QualityA, y.QualityA) << i;
        EXPECT_EQ(x.DifferenceA, y.DifferenceA) << i;
        EXPECT_EQ(a.Ranking[std::size_t(i)].FrameIndex, b.Ranking[std::size_t(i)].FrameIndex) << i;
    }
    EXPECT_EQ(a.SelectedCount, b.SelectedCount);
    EXPECT_EQ(a.ReferenceFrame, b.ReferenceFrame);
    EXPECT_EQ(a.AlignX, b.AlignX);
    EXPECT_EQ(a.ProgStatus, b.ProgStatus);
}

TEST(Projects, RoundTripsAtEveryStatusReplayingTheStack) {
    for (int status : {0, 1, 2, 3, 4}) {
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
        EXPECT_TRUE(ini.ReadSection("IInfo").empty());

        StartedSession again;
        Session& s = again.Start();
        ASSERT_TRUE(LoadProjectFile(s, project));
        ExpectSameFrames(w.s->ws, s.ws);
        EXPECT_FALSE(s.form.Followme.Checked);
        // Every stored control comes back as it was saved.
        for (std::string_view property : StoredProperties())
            EXPECT_EQ(s.form.GetValue(property), w.s->form.GetValue(property)) << property;
        EXPECT_FALSE(s.form.SelectFramesChecklist.Checked[3]);
        // The reference frame in view at every status; the capture named with its folder.
        EXPECT_EQ(s.form.PreviewSlider.Value, s.ws.ReferenceFrame);
        EXPECT_EQ(again.host.Caption, "Talvenor processing AVI: " + w.avi);
        if (status == 0) {
            EXPECT_EQ(s.form.PageControl1.ActivePageIndex, kPageInput);
        }
        EXPECT_EQ(s.form.TabSheet2.TabVisible, status >= 1);
        if (status == 4) {
            EXPECT_TRUE(s.ws.StackReady);
            EXPECT_EQ(s.form.Stackimage.Image, w.s->form.Stackimage.Image);  // the same stack again
        }
    }
}

TEST(Projects, PointsPlacedByHandReplayToTheSameStack) {
    WorkedCapture w(4);
    Session& s = *w.s;
    s.Dispatch("APPlaceButton", Event::Click);
    ASSERT_GT(s.points.Points.size(), 2u);
    // One point removed by a click on it, so the list is the user's own.
    s.form.APEditMode.Checked = true;
    EventArgs click;
    click.Button = MouseButton::Left;
    click.X = s.points.Points[0].X;
    click.Y = s.points.Points[0].Y;
    s.Dispatch("Stackimage", Event::MouseDown, click);
    const std::vector<AlignmentPoint> placed = s.points.Points;
    Stack(s);
    ASSERT_TRUE(s.points.LastStackUsedPoints);
    const fs::path project = w.t.appDir / "points.rsp";
    ASSERT_TRUE(SaveProjectClick(s, project));

    StartedSession again;
    Session& r = again.Start();
    ASSERT_TRUE(LoadProjectFile(r, project));
    ASSERT_EQ(r.points.Points.size(), placed.size());
    for (std::size_t i = 0; i < placed.size(); ++i)
        EXPECT_EQ(std::pair(r.points.Points[i].X, r.points.Points[i].Y), std::pair(placed[i].X, placed[i].Y));
    EXPECT_TRUE(r.points.LastStackUsedPoints);
    EXPECT_EQ(r.form.Stackimage.Image, s.form.Stackimage.Image);
    EXPECT_EQ(r.form.Stackimage.Boxes.size(), placed.size());
}

TEST(Projects, ImageSeriesRoundTripWithTheirFileNames) {
    for (int status : {0, 1, 2, 3, 4}) {
        SCOPED_TRACE(status);
        StartedSession t;
        Session& s = t.Start();
        const fs::path dir = t.appDir / "series";
        OpenInput(s, SeriesFiles(dir, 8, capture::CaptureFormat::Bmp, "bmp"), 2);
        s.form.QualStack.Checked = !s.form.QualStack.Checked;  // a stored control off its default
        WorkTo(s, status, 60, 45, 4);
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
        for (std::string_view property : StoredProperties())
            EXPECT_EQ(r.form.GetValue(property), s.form.GetValue(property)) << property;
        EXPECT_EQ(r.form.PreviewSlider.Value, r.ws.ReferenceFrame);
        EXPECT_EQ(again.host.Caption, "Talvenor processing BMPs: " + (dir / "capture_00001.bmp").string());
        if (status == 4) {
            EXPECT_EQ(r.form.Stackimage.Image, s.form.Stackimage.Image);
        }

        // Without its first frame the series does not open.
        if (status == 2) {
            fs::remove(dir / "capture_00001.bmp");
            StartedSession third;
            Session& u = third.Start();
            EXPECT_FALSE(LoadProjectFile(u, project));
            EXPECT_TRUE(third.host.Showed("Error : Bitmapfile " + (dir / "capture_00001.bmp").string() +
                                          " missing, project not loaded"));
            EXPECT_EQ(u.form.PageControl1.ActivePageIndex, kPageInput);
            EXPECT_FALSE(u.ws.IsImageSeries);
        }
    }
}

TEST(Projects, InterlacedCapturesKeepBothFieldsAndTheLoadNamesEachPart) {
    WorkedCapture w(4, "capture", true);
    const fs::path project = w.t.appDir / "fields.rsp";
    ASSERT_TRUE(SaveProjectClick(*w.s, project));
    const TBigIniFile ini(project);
    EXPECT_EQ(ini.ReadString("IShifts", "Xa5", ""), std::to_string(w.s->ws.Frames[5].ShiftXa));
    EXPECT_EQ(ini.ReadString("Ishifts", "Ya5", ""), std::to_string(w.s->ws.Frames[5].ShiftYa));  // one section
    EXPECT_FALSE(ini.ReadString("IInfo", "Qa5", "").empty());

    StartedSession dirs;
    ProgressHost host;
    Session s(host);
    host.form = &s.form;
    StartUp(s, dirs.Environment());
    ASSERT_TRUE(LoadProjectFile(s, project));
    EXPECT_TRUE(s.form.Interlaced.Checked);
    ExpectSameFrames(w.s->ws, s.ws);
    EXPECT_EQ(s.form.Stackimage.Image, w.s->form.Stackimage.Image);
    // The progress window names each part of the frame table as it is read.
    std::vector<std::string> loading;
    for (const std::string& d : host.details)
        if (d.starts_with(" - ") || d == "- frame ranking ") loading.push_back(d);
    EXPECT_EQ(loading, (std::vector<std::string>{" - excluded frames", " - X,Y shifts", " - Quality,Difference",
                                                 " - interlaced X,Y", " - interlaced info", "- frame ranking "}));
    s.Close();
}

TEST(Projects, AFitsSeriesReopensWithItsLevelsWithoutAsking) {
    StartedSession t;
    Session& s = t.Start();
    const fs::path dir = t.appDir / "fits";
    t.host.Answers.push_back(Answer::No);  // "Stretch intensity-levels": No
    OpenInput(s, SeriesFiles(dir, 6, capture::CaptureFormat::Fits, "fit"), 3);
    ASSERT_TRUE(t.host.Showed("Stretch intensity-levels "));
    ASSERT_FALSE(s.ws.StretchFitsLevels);
    testing::WorkUpTo(s, 4, 60, 45, 3);
    const fs::path project = t.appDir / "fits.rsp";
    ASSERT_TRUE(SaveProjectClick(s, project));
    EXPECT_EQ(TBigIniFile(project).ReadString("Input", "stretchlevels", ""), "0");

    StartedSession again;
    Session& r = again.Start();
    ASSERT_TRUE(LoadProjectFile(r, project));
    EXPECT_FALSE(again.host.Showed("Stretch intensity-levels "));
    EXPECT_FALSE(r.ws.StretchFitsLevels);
    EXPECT_EQ(r.form.Stackimage.Image, s.form.Stackimage.Image);

    // A project that does not say stretches the levels, as the series is FITS.
    TBigIniFile edited(project);
    edited.DeleteKey("Input", "stretchlevels");
    edited.UpdateFile();
    StartedSession third;
    ASSERT_TRUE(LoadProjectFile(third.Start(), project));
    EXPECT_TRUE(third.host.Messages.empty());
    EXPECT_TRUE(third.session->ws.StretchFitsLevels);
}

TEST(Projects, ProjectLoadOpensProjectsAndResultsAndRefusesOtherFiles) {
    WorkedCapture w(4);
    Session& s = *w.s;
    const fs::path project = w.t.appDir / "work.rsp";
    ASSERT_TRUE(SaveProjectClick(s, project));
    // The fixed-point FITS stack carries the project too (in each of its channel files; the
    // name given to the save stands for them).
    const fs::path fitr = w.t.appDir / "stack.fitr";
    w.t.host.SaveChoices.push_back(FileChoice{{fitr.string()}, 5});
    SaveButtonClick(s);
    ASSERT_TRUE(ReadRecipe(w.t.appDir / "stack_G.fit"));

    for (const fs::path& chosen : {project, fitr}) {
        SCOPED_TRACE(chosen);
        StartedSession again;
        Session& r = again.Start();
        again.host.OpenChoices.push_back(FileChoice{{chosen.string()}, 1});
        r.Dispatch("LoadProject", Event::Click);
        EXPECT_EQ(again.host.OpenRequests.back().Title, "Project Load");
        ASSERT_TRUE(r.ws.StackReady);
        EXPECT_EQ(r.form.Stackimage.Image, s.form.Stackimage.Image);
    }

    // Any other file is refused as it is, not read as a project.
    StartedSession third;
    Session& u = third.Start();
    w.t.WriteFile(w.t.appDir / "notes.txt", "[Input]\r\nfiletype=AVI\r\n");
    third.host.OpenChoices.push_back(FileChoice{{(w.t.appDir / "notes.txt").string()}, 1});
    u.Dispatch("LoadProject", Event::Click);
    ASSERT_EQ(third.host.Messages.size(), 1u);
    EXPECT_NE(third.host.Messages[0].Text.find("is not a project (.rsp)"), std::string::npos);
    EXPECT_EQ(u.ws.AviFileName, "none");
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
    // Asked first, with both names: No renames and writes nothing.
    const std::string question =
        "The capture jupiter.avi will be renamed to night_20261206_215902.avi. Rename it and save the project?";
    for (const Answer answer : {Answer::No, Answer::Yes}) {
        w.t.host.Answers.push_back(answer);
        w.t.host.SaveChoices.push_back(FileChoice{{project.string()}, 1});
        EXPECT_EQ(SaveProjectAsClick(s), answer == Answer::Yes);
        EXPECT_EQ(w.t.host.Messages.back().Text, question);
        EXPECT_EQ(fs::exists(w.avi), answer == Answer::No);
        EXPECT_EQ(fs::exists(project), answer == Answer::Yes);
    }
    EXPECT_EQ(w.t.host.SaveRequests.back().FileName, "night_20261206_215902");
    EXPECT_EQ(s.ws.AviFileName, "night_20261206_215902.avi");
    EXPECT_TRUE(fs::exists(fs::path(w.avi).parent_path() / "night_20261206_215902.avi"));
    EXPECT_FALSE(fs::exists(w.avi));
    EXPECT_TRUE(fs::exists(project));

    // The capture cannot take the name of another capture: the single Yes, nothing written.
    const fs::path taken = fs::path(w.avi).parent_path() / "taken.avi";
    w.t.WriteFile(taken, "another capture");
    w.t.host.SaveChoices.push_back(FileChoice{{(fs::path(w.avi).parent_path() / "taken.rsp").string()}, 1});
    EXPECT_FALSE(SaveProjectAsClick(s));
    ASSERT_FALSE(w.t.host.Messages.empty());
    EXPECT_EQ(w.t.host.Messages.back().Text, "Avi does allready exist, no renaming !! ");
    EXPECT_EQ(w.t.host.Messages.back().Choices, Buttons::Yes);
    EXPECT_EQ(s.ws.AviFileName, "night_20261206_215902.avi");
    EXPECT_FALSE(fs::exists(fs::path(w.avi).parent_path() / "taken.rsp"));

    // A series cannot be saved this way.
    StartedSession series;
    Session& t = series.Start();
    t.ws.IsImageSeries = true;
    EXPECT_FALSE(SaveProjectAsClick(t));
    EXPECT_EQ(series.host.Messages.back().Text, "Only allowed for AVI-projects");
}

TEST(Projects, TheLoadDialogListsEveryResultTypeItOpens) {
    StartedSession t;
    Session& s = t.Start();
    s.Dispatch("LoadProject", Event::Click);
    ASSERT_FALSE(t.host.OpenRequests.empty());
    const std::string filter = t.host.OpenRequests.back().Filter;
    // Every "*.ext" of the filter, whichever of '|', ';' and ' ' ends it.
    std::set<std::string> patterns;
    std::string word;
    for (const char c : filter + "|") {
        if (c == '|' || c == ';' || c == ' ') {
            if (word.starts_with("*.")) patterns.insert(word);
            word.clear();
        } else {
            word += c;
        }
    }
    for (const char* ext : {".fit", ".fits", ".fts", ".fitr", ".tif", ".tiff", ".jpg", ".jpeg", ".png"}) {
        ASSERT_TRUE(IsRecipeImageName(std::string("result") + ext)) << ext;
        EXPECT_TRUE(patterns.contains(std::string("*") + ext)) << ext << " missing from " << filter;
    }
}

TEST(Projects, LoadingTakesTheFrameCountFromTheProject) {
    WorkedCapture w(1);
    const fs::path project = w.t.appDir / "work.rsp";
    ASSERT_TRUE(SaveProjectClick(*w.s, project));
    std::ifstream in(project, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t at = text.find("sequencelength=12");
    ASSERT_NE(at, std::string::npos);
    // Shorter than the capture: the later frames stay out; longer: the capture's frames.
    for (const auto& [stored, last] : {std::pair{"8", 7}, std::pair{"40", 11}}) {
        std::string edited = text;
        edited.replace(at, 17, std::string("sequencelength=") + stored);
        w.t.WriteFile(project, edited);
        StartedSession again;
        Session& r = again.Start();
        again.host.OpenChoices.push_back(FileChoice{{project.string()}, 1});
        r.Dispatch("LoadProject", Event::Click);
        EXPECT_EQ(r.ws.LastFrame, last) << stored;
    }
}

}  // namespace
}  // namespace talvenor
