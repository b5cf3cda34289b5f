#include <gtest/gtest.h>

#include <dirent.h>

#include <set>

#include "imagefiles/bmp_file.h"
#include "imagefiles/jpeg_file.h"
#include "input/avi_ffmpeg.h"
#include "input/avi_frames.h"
#include "input/frame_lists.h"
#include "input/frame_loader.h"
#include "session/input_selection.h"
#include "session/session_fixture.h"
#include "session/tool_windows.h"
#include "support/external_tools.h"
#include "workspace/error.h"
#include "workspace/stored_properties.h"

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

TEST(InputSelection, CancellingTheDialogLeavesTheWorkInHand) {
    StartedSession t;
    Session& s = t.Start();
    s.ws.Frames[3].ShiftX = 7;
    s.ws.Ranking[0].FrameIndex = 9;
    s.form.TabSheet3.TabVisible = true;
    s.form.RxSlider4.Value = 200;
    s.Dispatch("SelectFileButton", Event::Click);  // no choice queued: cancelled
    EXPECT_EQ(s.ws.Frames[3].ShiftX, 7);
    EXPECT_EQ(s.ws.Ranking[0].FrameIndex, 9);
    EXPECT_TRUE(s.form.TabSheet3.TabVisible);
    EXPECT_EQ(s.form.RxSlider4.Value, 200);
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

TEST(FrameLists, RelativeLinesLeaveAnAbsoluteFolderInTheUsersStore) {
    StartedSession t;
    Session& s = t.Start();
    const std::string frame = WriteFrame(t.appDir.path(), "a.bmp", 1);
    const std::string relative = fs::relative(frame).string();
    ASSERT_FALSE(fs::path(relative).is_absolute());
    const std::string list = (t.appDir / "relative.rfl").string();
    WriteFrameListFile(list, {relative, relative});
    LoadFrameList(s.ctx, list, false);
    EXPECT_EQ(fs::path(t.UserValue("Files", "Dir")), fs::absolute(frame).lexically_normal().parent_path());
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

// ---- Sequences of every kind, opened as the user opens them.

std::string DataFile(const std::string& name) { return std::string(TALVENOR_SOURCE_DIR) + "/tests/data/" + name; }

std::vector<uint8_t> FileBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Largest channel difference between the picture and frame k of a raw BGR24 file.
int DifferenceFromFrame(const Bitmap24& got, const std::vector<uint8_t>& ref, int k) {
    const std::size_t n = got.Stride() * std::size_t(got.Height());
    if (n == 0 || ref.size() < (std::size_t(k) + 1) * n) return 256;
    int worst = 0;
    for (std::size_t i = 0; i < n; ++i) worst = std::max(worst, std::abs(int(got.Data()[i]) - int(ref[std::size_t(k) * n + i])));
    return worst;
}

// A 24-bit AVI of 2 x 2 frames whose colour tells the frame: frame i is blue i % 256, green
// i / 256, red 200. Its stream starts at position `start`; frames in `empty` are stored as
// empty chunks (dropped).
void WriteNumberedAvi(const fs::path& file, int count, uint32_t start = 0, const std::set<int>& empty = {}) {
    auto u32 = [](std::string& s, uint32_t v) {
        for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
    };
    auto u16 = [](std::string& s, uint16_t v) { s += char(v & 0xFF), s += char(v >> 8); };
    auto chunk = [&](const char* id, const std::string& data) {
        std::string c(id, 4);
        u32(c, uint32_t(data.size()));
        return c + data + (data.size() % 2 ? std::string(1, '\0') : std::string());
    };
    auto list = [&](const char* type, const std::string& data) {
        std::string c = "LIST";
        u32(c, uint32_t(data.size() + 4));
        return c + std::string(type, 4) + data;
    };
    const int w = 2, h = 2, rowBytes = 8;
    std::string avih;
    for (uint32_t v : {200000u, 0u, 0u, 0x10u, uint32_t(count), 0u, 1u, 0u, uint32_t(w), uint32_t(h), 0u, 0u, 0u, 0u}) u32(avih, v);
    std::string strh = "vidsDIB ";
    u32(strh, 0), u16(strh, 0), u16(strh, 0), u32(strh, 0), u32(strh, 1), u32(strh, 5), u32(strh, start),
        u32(strh, uint32_t(count)), u32(strh, rowBytes * h), u32(strh, 0xFFFFFFFF), u32(strh, 0);
    u16(strh, 0), u16(strh, 0), u16(strh, w), u16(strh, h);
    std::string strf;
    u32(strf, 40), u32(strf, w), u32(strf, h), u16(strf, 1), u16(strf, 24), u32(strf, 0), u32(strf, rowBytes * h);
    for (int i = 0; i < 4; ++i) u32(strf, 0);
    const std::string hdrl = list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));
    std::string movi, idx1;
    for (int i = 0; i < count; ++i) {
        std::string pixels;
        if (!empty.count(i))
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) pixels += {char(i % 256), char(i / 256), char(200)};
                pixels += std::string(rowBytes - 3 * w, '\0');
            }
        idx1 += "00db";
        u32(idx1, 0x10), u32(idx1, uint32_t(4 + movi.size())), u32(idx1, uint32_t(pixels.size()));
        movi += chunk("00db", pixels);
    }
    const std::string body = "AVI " + hdrl + list("movi", movi) + chunk("idx1", idx1);
    std::string riff = "RIFF";
    u32(riff, uint32_t(body.size()));
    std::ofstream(file, std::ios::binary) << riff << body;
}

int FrameNumberOf(const Bitmap24& b) { return b.Pixel(0, 0).b + 256 * b.Pixel(0, 0).g; }

// Every frame the whole-stream pass hands to the alignment step, by the number its picture shows.
std::vector<std::pair<int, int>> AlignmentPassFrames(Session& s) {
    std::vector<std::pair<int, int>> seen;  // frame index, number shown
    s.ws.AlignPassActive = true;
    ReadAviFrames(s.ctx, AviPath(s.ctx), kAviWholeStream,
                  PassSteps{[&] { seen.emplace_back(s.ws.CurrentFrame, FrameNumberOf(s.ws.CurrentFrameImage)); }, {}});
    s.ws.AlignPassActive = false;
    return seen;
}

// H.264 and MPEG-4 Part 2 with B-frames store pictures out of display order; frame n must be
// the picture ffmpeg shows as frame n, whether the frames come in a pass, one at a time with
// the file opened for each (the slider), or in any order from one open file (the optimizer),
// told the order first or not (the stacker).
TEST(AviInput, CodecsThatReorderFramesShowEveryFrameAsFfmpegDoes) {
    TALVENOR_REQUIRE_TOOL(HaveFfmpegDecoders(), "libavcodec");
    for (const char* name : {"h264-bframes", "mpeg4-bframes"}) {
        SCOPED_TRACE(name);
        StartedSession t;
        Session& s = t.Start();
        Choose(t, {DataFile(std::string("avi/") + name + ".avi")}, 1);
        const std::vector<uint8_t> ref = FileBytes(DataFile(std::string("avi/") + name + ".bgr"));
        ASSERT_EQ(s.ws.LastFrame, 11);
        EXPECT_LE(DifferenceFromFrame(s.ws.CurrentFrameImage, ref, 0), 3);

        std::vector<int> passed;
        s.ws.AlignPassActive = true;
        ReadAviFrames(s.ctx, AviPath(s.ctx), kAviWholeStream, PassSteps{[&] {
                          passed.push_back(s.ws.CurrentFrame);
                          EXPECT_LE(DifferenceFromFrame(s.ws.CurrentFrameImage, ref, s.ws.CurrentFrame), 3)
                              << "frame " << s.ws.CurrentFrame << " of the pass";
                      }, {}});
        s.ws.AlignPassActive = false;
        EXPECT_EQ(passed, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));

        const int order[] = {11, 0, 6, 5, 4, 10, 3, 9, 1, 7, 2, 8, 8, 5, 6};
        for (int frame : order) {
            s.form.PreviewSlider.Value = frame;
            s.Dispatch("PreviewSlider", Event::Change);
            EXPECT_LE(DifferenceFromFrame(s.ws.CurrentFrameImage, ref, frame), 3) << "frame " << frame << " alone";
        }
        AviFrameSource source(s.ctx, AviPath(s.ctx));
        for (int frame : order) {
            source.Read(frame);
            EXPECT_LE(DifferenceFromFrame(s.ws.CurrentFrameImage, ref, frame), 3) << "frame " << frame << " from the open file";
        }
        // Told the order first (the stacker's ranks), the file decodes them in its own order.
        AviFrameSource told(s.ctx, AviPath(s.ctx));
        told.WillRead(std::vector<int>(std::begin(order), std::end(order)));
        for (int frame : order) {
            told.Read(frame);
            EXPECT_LE(DifferenceFromFrame(s.ws.CurrentFrameImage, ref, frame), 3) << "frame " << frame << " told ahead";
        }
        EXPECT_EQ(told.FramesDecodedInFileOrder(), 12);
    }
}

// Frame i is the stream's (i + 1)-th frame wherever the stream starts; the frame table, the
// slider, the frame list and the passes all cover the same frames, and a stream longer than
// the table is cut with a warning.
TEST(AviInput, FramesFollowTheStreamFromItsStartAndLongStreamsWarn) {
    struct Case {
        int count;
        uint32_t start;
        bool warned;
    };
    for (const Case& c : {Case{6, 3, false}, Case{5001, 0, false}, Case{5003, 0, true}, Case{5003, 7, true}}) {
        SCOPED_TRACE(std::to_string(c.count) + " frames from position " + std::to_string(c.start));
        StartedSession t;
        Session& s = t.Start();
        const fs::path avi = t.appDir / "numbered.avi";
        WriteNumberedAvi(avi, c.count, c.start);
        Choose(t, {avi.string()}, 1);
        EXPECT_EQ(t.host.Showed("Warning : only 5000 frames can be processed"), c.warned);
        const int last = std::min(c.count - 1, 5000);
        EXPECT_EQ(s.ws.LastFrame, last);
        EXPECT_EQ(s.ws.SelectedCount, last + 1);
        EXPECT_EQ(s.form.SelectFramesChecklist.Count(), last + 1);
        EXPECT_EQ(s.form.PreviewSlider.MaxValue, last);
        EXPECT_EQ(s.form.StackSlider.MaxValue, last);
        EXPECT_EQ(FrameNumberOf(s.ws.CurrentFrameImage), 0);

        const auto seen = AlignmentPassFrames(s);
        ASSERT_EQ(int(seen.size()), last + 1);
        for (int i = 0; i <= last; ++i)
            if (seen[std::size_t(i)] != std::make_pair(i, i)) {
                ADD_FAILURE() << "pass step " << i << " had frame " << seen[std::size_t(i)].first << " showing "
                              << seen[std::size_t(i)].second;
                break;
            }
        s.form.PreviewSlider.Value = last;
        s.Dispatch("PreviewSlider", Event::Change);
        EXPECT_EQ(FrameNumberOf(s.ws.CurrentFrameImage), last);
        EXPECT_EQ(s.form.PreviewSlider.MaxValue, last);  // showing a frame keeps the cut
    }
}

// Everything the user could see or that a later step reads: the stored control values, the
// tabs, the frame table and ranking, the series and the frame list.
std::vector<std::string> Snapshot(const Session& s) {
    std::vector<std::string> v;
    for (std::string_view p : StoredProperties()) v.push_back(std::string(p) + "=" + s.form.GetValue(p).value_or("?"));
    for (const TabSheet* tab : {&s.form.TabSheet2, &s.form.TabSheet3, &s.form.TabSheet4, &s.form.TabSheet5})
        v.push_back(tab->Name + (tab->TabVisible ? " shown" : " hidden"));
    for (int i = 0; i < 6; ++i) {
        const FrameRecord& r = s.ws.Frames[std::size_t(i)];
        v.push_back("frame " + std::to_string(i) + ": " + std::to_string(r.ShiftX) + "," + std::to_string(r.ShiftY) + " q" +
                    std::to_string(r.Quality) + " d" + std::to_string(r.Difference) + " x" + std::to_string(r.Excluded) +
                    " " + s.ws.FileNames[std::size_t(i)] + " rank " + std::to_string(s.ws.Ranking[std::size_t(i)].FrameIndex));
    }
    v.push_back("last " + std::to_string(s.ws.LastFrame) + " selected " + std::to_string(s.ws.SelectedCount));
    for (std::size_t i = 0; i < s.form.SelectFramesChecklist.Items.size(); ++i)
        v.push_back(s.form.SelectFramesChecklist.Items[i] + (s.form.SelectFramesChecklist.Checked[i] ? " [x]" : " [ ]"));
    return v;
}

TEST(FrameLists, ALoadThatIsCancelledOrCannotBeReadLeavesEverythingAsItWas) {
    StartedSession t;
    Session& s = t.Start();
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) files.push_back(WriteFrame(t.appDir.path(), "f" + std::to_string(i) + ".bmp", i));
    Choose(t, files, 2);
    s.ws.Frames[1].ShiftX = 4;
    s.ws.Frames[1].Quality = 2.5f;
    s.ws.Ranking[0].FrameIndex = 2;
    s.ws.Frames[2].Excluded = 1;
    s.form.SelectFramesChecklist.Checked[2] = false;
    s.form.TabSheet3.TabVisible = true;
    s.form.RxSlider4.Value = 200;
    const std::vector<std::string> before = Snapshot(s);

    const std::string emptyList = (t.appDir / "empty.rfl").string();
    WriteFrameListFile(emptyList, {});
    struct Case {
        const char* what;
        std::vector<std::string> choice;  // none: the dialog is cancelled
        bool fails;
    };
    for (const Case& c : {Case{"cancelled", {}, false}, Case{"an empty list", {emptyList}, true},
                          Case{"a missing list", {(t.appDir / "gone.rfl").string()}, true}}) {
        SCOPED_TRACE(c.what);
        if (!c.choice.empty()) t.host.OpenChoices.push_back(FileChoice{c.choice, 1});
        if (c.fails) EXPECT_THROW(s.Dispatch("Framelistloadbutton", Event::Click), Error);
        else s.Dispatch("Framelistloadbutton", Event::Click);
        EXPECT_EQ(Snapshot(s), before);
    }
}

// Flags left by the previous sequence must not leave out frames of the next: a single
// still stacks as it does in a fresh session.
TEST(InputSelection, ANewInputStartsWithEveryFrameSelected) {
    auto stackOfStill = [](StartedSession& t) {
        Bitmap24 b(40, 30);
        b.Fill(Bgr{20, 120, 200});
        WriteJpeg(t.appDir / "moon.jpg", b);
        Choose(t, {(t.appDir / "moon.jpg").string()}, 4);
        EXPECT_TRUE(t.session->ws.StackReady);
        return t.session->form.Stackimage.Image;
    };
    StartedSession fresh;
    fresh.Start();
    const Bitmap24 expected = stackOfStill(fresh);
    ASSERT_GT(expected.Pixel(20, 15).r, 100);

    struct Case {
        const char* what;
        std::function<void(StartedSession&)> before;
    };
    const Case cases[] = {
        {"after Set none", [](StartedSession& t) {
             std::vector<std::string> files;
             for (int i = 0; i < 3; ++i) files.push_back(WriteFrame(t.appDir.path(), "f" + std::to_string(i) + ".bmp", i));
             Choose(t, files, 2);
             t.session->Dispatch("BitBtn5", Event::Click);
             ASSERT_EQ(t.session->ws.Frames[0].Excluded, 1);
         }},
        {"after an AVI whose first frame was dropped", [](StartedSession& t) {
             WriteNumberedAvi(t.appDir / "late.avi", 4, 0, {0});
             Choose(t, {(t.appDir / "late.avi").string()}, 1);
             AlignmentPassFrames(*t.session);
             ASSERT_EQ(t.session->ws.Frames[0].Excluded, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartedSession t;
        t.Start();
        c.before(t);
        EXPECT_TRUE(stackOfStill(t) == expected);
        EXPECT_EQ(t.session->ws.Frames[0].Excluded, 0);
        EXPECT_EQ(t.session->ws.Frames[0].Dropped, 0);
    }
}

// Colour processing is checked for a colour capture and unchecked for a grey one, on both
// pages, whatever it was before; the data decides, not the container.
TEST(InputSelection, ColourProcessingFollowsTheInput) {
    auto writeSeries = [](StartedSession& t, const char* ext, Bgr colour, int count) {
        std::vector<std::string> files;
        for (int i = 0; i < count; ++i) {
            Bitmap24 b(40, 30);
            b.Fill(colour);
            b.SetPixel(3, 3, Bgr{uint8_t(colour.b + 30), uint8_t(colour.g + 30), uint8_t(colour.r + 30)});
            const fs::path p = t.appDir / ("s" + std::to_string(i) + ext);
            if (std::string(ext) == ".bmp") WriteBmp24(p, b);
            else WriteJpeg(p, b);
            files.push_back(p.string());
        }
        return files;
    };
    const Bgr grey{90, 90, 90}, colour{40, 90, 160};
    auto avi = [](const char* name) {
        return [name](StartedSession& t) { Choose(t, {DataFile(std::string("avi/") + name)}, 1); };
    };
    struct Case {
        const char* what;
        std::function<void(StartedSession&)> open;
        bool colour;
        bool needsFfmpeg = false;
    };
    const Case cases[] = {
        {"24-bit AVI in colour", avi("bgr24.avi"), true},
        {"8-bit AVI with a colour palette", avi("pal8.avi"), true},
        {"Y800 AVI", avi("gray.avi"), false},
        {"8-bit AVI with a grey palette", avi("grey-palette.avi"), false},
        {"Motion-JPEG AVI of a grey scene", avi("mjpeg-grey.avi"), false},
        {"Motion-JPEG AVI in colour", avi("mjpeg.avi"), true},
        {"H.264 AVI in colour", avi("h264-bframes.avi"), true, true},
        {"BMP series in colour", [&](StartedSession& t) { Choose(t, writeSeries(t, ".bmp", colour, 2), 2); }, true},
        {"BMP series in grey", [&](StartedSession& t) { Choose(t, writeSeries(t, ".bmp", grey, 2), 2); }, false},
        {"single grey JPEG", [&](StartedSession& t) { Choose(t, writeSeries(t, ".jpg", grey, 1), 4); }, false},
        {"single colour JPEG", [&](StartedSession& t) { Choose(t, writeSeries(t, ".jpg", colour, 1), 4); }, true},
        {"FITS series", [](StartedSession& t) { Choose(t, {DataFile("fits/u16.fit"), DataFile("fits/u16.fit")}, 3); }, false},
        {"frame list in colour", [&](StartedSession& t) {
             const std::string list = (t.appDir / "c.rfl").string();
             WriteFrameListFile(list, writeSeries(t, ".bmp", colour, 2));
             t.host.OpenChoices.push_back(FileChoice{{list}, 1});
             t.session->Dispatch("Framelistloadbutton", Event::Click);
         }, true},
        {"frame list in grey, opened as a project", [&](StartedSession& t) {
             const std::string list = (t.appDir / "g.rfl").string();
             WriteFrameListFile(list, writeSeries(t, ".bmp", grey, 2));
             t.host.OpenChoices.push_back(FileChoice{{list}, 2});
             t.session->Dispatch("LoadProject", Event::Click);
         }, false},
        {"dropped colour files", [&](StartedSession& t) {
             t.session->form.PageControl1.ActivePageIndex = kPageInput;
             t.session->Dispatch("MainForm", Event::FilesDropped, EventArgs{.Files = writeSeries(t, ".bmp", colour, 2)});
         }, true},
        {"dropped grey files", [&](StartedSession& t) {
             t.session->form.PageControl1.ActivePageIndex = kPageInput;
             t.session->Dispatch("MainForm", Event::FilesDropped, EventArgs{.Files = writeSeries(t, ".bmp", grey, 2)});
         }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsFfmpeg && !HaveFfmpegDecoders()) continue;
        StartedSession t;
        Session& s = t.Start();
        s.form.ColourStack.Checked = s.form.Colourprocess2.Checked = !c.colour;
        c.open(t);
        EXPECT_FALSE(s.ws.CurrentFrameImage.Empty());
        EXPECT_EQ(s.form.ColourStack.Checked, c.colour);
        EXPECT_EQ(s.form.Colourprocess2.Checked, c.colour);
        EXPECT_EQ(s.form.RedSlider.Enabled, c.colour);
    }

    // The user has the last word: a choice made after opening stays while frames are shown.
    StartedSession t;
    Session& s = t.Start();
    Choose(t, {DataFile("avi/bgr24.avi")}, 1);
    ASSERT_TRUE(s.form.ColourStack.Checked);
    s.form.Colourprocess2.Checked = false;
    s.Dispatch("Colourprocess2", Event::Click);
    s.form.PreviewSlider.Value = 3;
    s.Dispatch("PreviewSlider", Event::Change);
    EXPECT_FALSE(s.form.ColourStack.Checked);
}

}  // namespace
}  // namespace talvenor
