#include <gtest/gtest.h>

#include <dirent.h>

#include "imagefiles/bmp_file.h"
#include "input/avi_frames.h"
#include "input/frame_lists.h"
#include "input/frame_loader.h"
#include "session/input_selection.h"
#include "session/session_fixture.h"
#include "session/tool_windows.h"

namespace talvenor {
namespace {

using testing::StartedSession;
namespace fs = std::filesystem;

// A small frame whose green value tells which one it is.
std::string WriteFrame(const fs::path& dir, const std::string& name, int green, int width = 40, int height = 30) {
    Bitmap24 b(width, height);
    b.Fill(Bgr{10, uint8_t(green), 200});
    WriteBmp24(dir / name, b);
    return (dir / name).string();
}

int GreenOf(const Bitmap24& b) { return b.Pixel(0, 0).g; }

void Choose(StartedSession& t, std::vector<std::string> files, int type) {
    t.host.OpenChoices.push_back(FileChoice{std::move(files), type});
    t.session->Dispatch("SelectFileButton", Event::Click);
}

int OpenFileDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

TEST(InputSelection, AStillSeriesIsOpenedInTheOrderTheUserSeesIt) {
    StartedSession t;
    Session& s = t.Start();
    const std::string a = WriteFrame(t.appDir.path(), "a.bmp", 1), b = WriteFrame(t.appDir.path(), "b.bmp", 2),
                      c = WriteFrame(t.appDir.path(), "c.bmp", 3);
    // The dialog hands over its list with the first and the last exchanged.
    Choose(t, {a, b, c}, 2);
    EXPECT_EQ(s.ws.FileNames[0], c);
    EXPECT_EQ(s.ws.FileNames[1], b);
    EXPECT_EQ(s.ws.FileNames[2], a);
    EXPECT_EQ(s.ws.LastFrame, 2);
    EXPECT_EQ(s.ws.SelectedCount, 3);
    EXPECT_EQ(s.ws.InputType, kInputBmp);
    EXPECT_TRUE(s.ws.IsImageSeries);
    EXPECT_EQ(s.ws.ImageWidth, 40);
    EXPECT_EQ(s.ws.SourceHeight, 30);
    EXPECT_EQ(GreenOf(s.form.PreviewImage.Image), 3);
    EXPECT_EQ(s.form.SelectFramesChecklist.Items, (std::vector<std::string>{"c.bmp", "b.bmp", "a.bmp"}));
    EXPECT_EQ(s.form.Frames.Caption, "Frame : 1 of 3 ( selected = 3) ");
    EXPECT_EQ(s.form.Label9.Caption, "1 / 3");
    EXPECT_EQ(s.form.PreviewSlider.MaxValue, 2);
    EXPECT_EQ(s.form.FFTsizeGroup.ItemIndex, 0);  // frames below 128 pixels take the 32-pixel box
    EXPECT_EQ(t.host.Caption, "Talvenor processing BMP: " + c);
    EXPECT_EQ(t.UserValue("Files", "Lasttype"), "BMP");
    EXPECT_EQ(t.UserValue("Files", "Dir"), t.appDir.path().string());
    EXPECT_TRUE(s.form.Framelistsavebutton.Visible);

    // Moving the slider shows that frame.
    s.form.PreviewSlider.Value = 2;
    s.Dispatch("PreviewSlider", Event::Change);
    EXPECT_EQ(GreenOf(s.form.PreviewImage.Image), 1);
    EXPECT_EQ(s.form.Frames.Caption, "Frame : 3 of 3 ( selected = 3) ");
}

TEST(InputSelection, CancellingTheDialogStillResetsTheWorkspace) {
    StartedSession t;
    Session& s = t.Start();
    s.ws.Frames[3].ShiftX = 7;
    s.ws.Ranking[0].FrameIndex = 9;
    s.form.TabSheet3.TabVisible = true;
    s.form.RxSlider4.Value = 200;
    s.Dispatch("SelectFileButton", Event::Click);  // no choice queued: cancelled
    EXPECT_EQ(s.ws.Frames[3].ShiftX, 0);
    EXPECT_EQ(s.ws.Ranking[0].FrameIndex, 0);
    EXPECT_FALSE(s.form.TabSheet3.TabVisible);
    EXPECT_EQ(s.form.RxSlider4.Value, 10);
    EXPECT_EQ(t.host.OpenRequests.size(), 1u);
    EXPECT_EQ(t.host.OpenRequests[0].Filter, s.form.AddBitmapDialog.Filter);

    Choose(t, {(t.appDir / "nowhere.bmp").string()}, 2);
    ASSERT_FALSE(t.host.Messages.empty());
    EXPECT_EQ(t.host.Messages.back().Text, "non existing file :" + (t.appDir / "nowhere.bmp").string());
    EXPECT_EQ(t.host.Messages.back().Kind, MsgKind::Error);
}

TEST(InputSelection, MoreThan5001FramesAreCutWithAWarning) {
    StartedSession t;
    Session& s = t.Start();
    const std::string f = WriteFrame(t.appDir.path(), "f.bmp", 5);
    Choose(t, std::vector<std::string>(5003, f), 2);
    EXPECT_TRUE(t.host.Showed("Warning : only 5000 frames can be processed"));
    EXPECT_EQ(s.ws.LastFrame, 5000);
    EXPECT_EQ(s.ws.SelectedCount, 5001);
    EXPECT_EQ(s.form.SelectFramesChecklist.Count(), 5001);
}

TEST(InputSelection, AnAviWithEmptySamplesMarksExactlyThoseFramesDropped) {
    StartedSession t;
    Session& s = t.Start();
    const std::string avi = std::string(TALVENOR_SOURCE_DIR) + "/tests/data/avi/dropped.avi";
    const int fds = OpenFileDescriptors();
    Choose(t, {avi}, 1);
    EXPECT_EQ(s.ws.InputType, kInputAvi);
    EXPECT_EQ(s.ws.AviFileName, "dropped.avi");
    EXPECT_EQ(t.UserValue("Files", "Lasttype"), "AVI");
    EXPECT_EQ(s.form.SaveDialog1.FileName, "dropped");
    const int last = s.ws.LastFrame;
    ASSERT_GE(last, 7);

    // An alignment pass over the stream: the step never sees a dropped frame.
    std::vector<int> seen;
    s.ws.AlignPassActive = true;
    ReadAviFrames(s.ctx, AviPath(s.ctx), kAviWholeStream, PassSteps{[&] { seen.push_back(s.ws.CurrentFrame); }, {}});
    s.ws.AlignPassActive = false;
    std::vector<int> expected;
    for (int i = 0; i <= last; ++i)
        if (i != 3 && i != 7) expected.push_back(i);
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(s.ws.DroppedFramesSeen);
    for (int i = 0; i <= last; ++i) {
        const bool dropped = i == 3 || i == 7;
        EXPECT_EQ(s.ws.Frames[std::size_t(i)].Dropped, dropped) << i;
        EXPECT_EQ(s.ws.Frames[std::size_t(i)].Excluded, dropped) << i;
    }
    EXPECT_EQ(s.form.SelectFramesChecklist.Items[3], "dropped frame");
    EXPECT_TRUE(s.form.SelectFramesChecklist.Grayed[7]);

    // A later pass skips them without looking, and the space bar cannot bring them back.
    seen.clear();
    s.ws.AlignPassActive = true;
    ReadAviFrames(s.ctx, AviPath(s.ctx), kAviWholeStream, PassSteps{[&] { seen.push_back(s.ws.CurrentFrame); }, {}});
    s.ws.AlignPassActive = false;
    EXPECT_EQ(seen, expected);
    s.form.PreviewSlider.Value = 3;
    s.Dispatch("PreviewSlider", Event::Change);
    s.Dispatch("PreviewSlider", Event::KeyDown, EventArgs{.Key = ' '});
    EXPECT_EQ(s.ws.Frames[3].Excluded, 1);
    EXPECT_EQ(OpenFileDescriptors(), fds);  // nothing stays open between calls
}

TEST(InputSelection, CancelDuringAnAviPassStopsBeforeTheNextFrameAndReleasesTheFile) {
    StartedSession t;
    Session& s = t.Start();
    Choose(t, {std::string(TALVENOR_SOURCE_DIR) + "/tests/data/avi/bgr24.avi"}, 1);
    const int fds = OpenFileDescriptors();
    int steps = 0;
    t.host.OnPump = [&] {
        if (steps == 2) s.ws.CancelRequested = true;
    };
    s.ws.AlignPassActive = true;
    ReadAviFrames(s.ctx, AviPath(s.ctx), kAviWholeStream, PassSteps{[&] { ++steps; }, {}});
    s.ws.AlignPassActive = false;
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(OpenFileDescriptors(), fds);
}

TEST(FrameSelection, SpaceChecksDoubleClicksAndSetAllNone) {
    StartedSession t;
    Session& s = t.Start();
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) files.push_back(WriteFrame(t.appDir.path(), "f" + std::to_string(i) + ".bmp", i));
    Choose(t, files, 2);
    s.ws.Frames[5].Dropped = 1;
    s.ws.Frames[5].Excluded = 1;

    s.Dispatch("BitBtn5", Event::Click);  // "Set none"
    EXPECT_EQ(s.ws.SelectedCount, 0);
    s.form.PreviewSlider.Value = 3;
    s.Dispatch("PreviewSlider", Event::KeyDown, EventArgs{.Key = ' '});
    EXPECT_EQ(s.ws.SelectedCount, 1);
    EXPECT_TRUE(s.form.SelectFramesChecklist.Checked[3]);
    EXPECT_EQ(s.form.UseFramesign.Image.Pixel(8, 8), ColourOf(0x00C000));
    s.Dispatch("PreviewSlider", Event::KeyDown, EventArgs{.Key = ' '});
    s.Dispatch("PreviewSlider", Event::KeyDown, EventArgs{.Key = ' '});
    EXPECT_EQ(s.ws.SelectedCount, 1);  // toggling twice changes nothing

    // A check mark on a dropped frame does not take.
    s.form.SelectFramesChecklist.Checked[5] = true;
    s.Dispatch("SelectFramesChecklist", Event::ClickCheck, EventArgs{.Item = 5});
    EXPECT_EQ(s.ws.Frames[5].Excluded, 1);
    EXPECT_TRUE(s.form.SelectFramesChecklist.Grayed[5]);

    // A double click toggles every highlighted frame.
    s.form.SelectFramesChecklist.Selected = {true, true, false, true, false, true};
    s.Dispatch("SelectFramesChecklist", Event::DblClick);
    EXPECT_EQ(s.ws.Frames[0].Excluded, 0);
    EXPECT_EQ(s.ws.Frames[1].Excluded, 0);
    EXPECT_EQ(s.ws.Frames[3].Excluded, 1);
    EXPECT_EQ(s.ws.Frames[5].Excluded, 1);
    EXPECT_EQ(s.ws.SelectedCount, 2);

    // A single click shows that frame.
    s.Dispatch("SelectFramesChecklist", Event::Click, EventArgs{.Item = 4});
    EXPECT_EQ(s.form.PreviewSlider.Value, 4);
    EXPECT_EQ(GreenOf(s.form.PreviewImage.Image), 4);

    s.Dispatch("BitBtn4", Event::Click);  // "Set all" brings even the dropped frame back
    EXPECT_EQ(s.ws.SelectedCount, 6);
    EXPECT_EQ(s.ws.Frames[5].Excluded, 0);
}

TEST(FrameLists, SaveLoadAddSortAndEmpty) {
    StartedSession t;
    Session& s = t.Start();
    const std::string b = WriteFrame(t.appDir.path(), "B.bmp", 2), a = WriteFrame(t.appDir.path(), "a.bmp", 1),
                      c = WriteFrame(t.appDir.path(), "c.bmp", 3);
    Choose(t, {c, b, a}, 2);  // the series: a, b, c
    s.ws.Frames[1].Excluded = 1;
    const std::string list = (t.appDir / "kept.rfl").string();
    t.host.SaveChoices.push_back(FileChoice{{list}, 1});
    s.Dispatch("Framelistsavebutton", Event::Click);
    std::ifstream in(list, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, a + "\r\n" + c + "\r\n");
    EXPECT_EQ(t.host.Caption, "Talvenor processing BMPs: " + a);

    t.host.OpenChoices.push_back(FileChoice{{list}, 1});
    s.Dispatch("Framelistloadbutton", Event::Click);
    EXPECT_EQ(s.ws.LastFrame, 1);
    EXPECT_EQ(s.ws.SelectedCount, 2);
    EXPECT_EQ(s.form.SelectFramesChecklist.Items, (std::vector<std::string>{"a.bmp", "c.bmp"}));
    EXPECT_TRUE(s.form.AddFramesButton.Visible);

    // "Add" appends another list; "Sort" orders the paths without regard to case.
    const std::string more = (t.appDir / "more.rfl").string();
    WriteFrameListFile(more, {b});
    t.host.OpenChoices.push_back(FileChoice{{more}, 1});
    s.Dispatch("AddFramesButton", Event::Click);
    EXPECT_EQ(s.ws.LastFrame, 2);
    EXPECT_EQ(s.ws.FileNames[2], b);
    s.Dispatch("FramelistSortbutton", Event::Click);
    EXPECT_EQ(s.form.SelectFramesChecklist.Items, (std::vector<std::string>{"a.bmp", "B.bmp", "c.bmp"}));
    EXPECT_EQ(s.ws.FileNames[1], b);

    s.Dispatch("BitBtn10", Event::Click);  // "Empty List"
    EXPECT_EQ(s.form.SelectFramesChecklist.Count(), 0);
    EXPECT_EQ(s.form.PreviewSlider.MaxValue, 1);
}

TEST(FrameLists, TheSeriesTypeComesFromTheFirstPathInAnyCase) {
    StartedSession t;
    Session& s = t.Start();
    const std::string fit = (t.appDir / "M42_L.FIT").string();
    fs::copy_file(std::string(TALVENOR_SOURCE_DIR) + "/tests/data/fits/u16.fit", fit);
    const std::string list = (t.appDir / "fits.rfl").string();
    WriteFrameListFile(list, {fit, fit});
    LoadFrameList(s.ctx, list, false);
    EXPECT_TRUE(s.ws.IsFits);
    EXPECT_TRUE(s.ws.StretchFitsLevels);
    EXPECT_EQ(s.ws.InputType, kInputFit);
    EXPECT_EQ(s.ws.ImageWidth, 7);
    EXPECT_EQ(s.ws.FitsChannel, 3);
}

TEST(DroppedFiles, OpenASeriesOfTheFirstFilesType) {
    StartedSession t;
    Session& s = t.Start();
    const std::string a = WriteFrame(t.appDir.path(), "a.bmp", 1), b = WriteFrame(t.appDir.path(), "b.bmp", 2);
    const std::string txt = (t.appDir / "notes.txt").string();
    EventArgs drop;
    drop.Files = {a, txt, b};
    s.form.PageControl1.ActivePageIndex = kPageAligning;
    s.Dispatch("MainForm", Event::FilesDropped, drop);
    EXPECT_EQ(s.ws.LastFrame, 0);  // only while the Input page is shown
    s.form.PageControl1.ActivePageIndex = kPageInput;
    s.Dispatch("MainForm", Event::FilesDropped, drop);
    EXPECT_EQ(s.ws.LastFrame, 1);
    EXPECT_EQ(s.ws.FileNames[1], b);
    EXPECT_EQ(s.ws.SelectedCount, 2);
    EXPECT_EQ(s.form.SelectFramesChecklist.Items, (std::vector<std::string>{"a.bmp", "b.bmp"}));
    EXPECT_EQ(GreenOf(s.form.PreviewImage.Image), 1);
}

TEST(SeriesPass, FieldsAndShrinkingFramesAndCancel) {
    StartedSession t;
    Session& s = t.Start();
    std::vector<std::string> files{WriteFrame(t.appDir.path(), "a.bmp", 1, 40, 30),
                                   WriteFrame(t.appDir.path(), "b.bmp", 2, 38, 30),
                                   WriteFrame(t.appDir.path(), "c.bmp", 3, 40, 30)};
    Choose(t, {files[2], files[1], files[0]}, 2);
    std::vector<std::pair<int, int>> calls;
    SeriesPass pass;
    pass.Frames = {0, 1, 2};
    pass.Total = 3;
    pass.AlignmentPass = true;
    pass.Step = [&] { calls.emplace_back(s.ws.CurrentFrame, s.ws.FieldIndex); };
    RunSeriesPass(s.ctx, pass);
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_EQ(s.ws.ImageWidth, 38);  // the second file is 2 pixels narrower
    EXPECT_EQ(s.ws.SourceWidth, 38);
    EXPECT_EQ(t.host.Caption, "Talvenor processing BMP: " + files[2]);

    calls.clear();
    s.form.Interlaced.Checked = true;
    s.ws.Frames[1].Excluded = 1;
    RunSeriesPass(s.ctx, pass);
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {2, 0}, {2, 1}}));

    calls.clear();
    s.form.Interlaced.Checked = false;
    t.host.OnPump = [&] { s.ws.CancelRequested = !calls.empty(); };
    RunSeriesPass(s.ctx, pass);
    EXPECT_EQ(calls.size(), 1u);
}

}  // namespace
}  // namespace talvenor
