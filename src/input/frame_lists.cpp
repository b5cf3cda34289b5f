#include "input/frame_lists.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "imagefiles/file_kind.h"
#include "input/frame_display.h"
#include "input/frame_loader.h"
#include "input/unreadable_frames.h"
#include "input/frame_selection.h"
#include "workspace/caption.h"
#include "workspace/error.h"
#include "workspace/safe_file_writer.h"
#include "workspace/text_util.h"
#include "workspace/saved_note.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string FileNameOf(const std::string& path) { return fs::path(path).filename().string(); }

}  // namespace

void SetSeriesTypeFromName(AppContext& c, const std::string& path) {
    Workspace& ws = c.ws;
    const std::string name = ToLower(path);
    ws.IsJpeg = EndsWith(name, "jpg");
    ws.IsFits = EndsWith(name, "fit") || EndsWith(name, "fts") || EndsWith(name, "fits") || IsGzipFitsName(path);
    ws.IsTiff = EndsWith(name, "tif") || EndsWith(name, "tiff");
    ws.IsPng = EndsWith(name, "png");
    if (ws.IsFits) ws.StretchFitsLevels = true;
    ws.InputType = ws.IsFits ? kInputFit : ws.IsJpeg ? kInputJpg : ws.IsTiff ? kInputTif : ws.IsPng ? kInputPng : kInputBmp;
}

void SetSizesFromFirstFrame(AppContext& c, const std::string& tooLarge) {
    Workspace& ws = c.ws;
    ws.ImageWidth = ws.SourceWidth = ws.UnclampedWidth = ws.CurrentFrameImage.Width();
    ws.ImageHeight = ws.SourceHeight = ws.UnclampedHeight = ws.CurrentFrameImage.Height();
    if (ws.ImageWidth > kMaxImageSide || ws.ImageHeight > kMaxImageSide) {
        c.host.Message(MsgKind::Error, tooLarge, Buttons::Ok);
        ws.ImageWidth = ws.SourceWidth = std::min(ws.ImageWidth, kMaxImageSide);
        ws.ImageHeight = ws.SourceHeight = std::min(ws.ImageHeight, kMaxImageSide);
    }
}

std::vector<std::string> ReadFrameListFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error(path + ": cannot open the frame list");
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (Trim(line).empty()) continue;
        // Lists written on Windows separate folders with backslashes.
        if (fs::path::preferred_separator == '/') std::replace(line.begin(), line.end(), '\\', '/');
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> ReadFrameListToOpen(const std::string& path) {
    std::vector<std::string> lines = ReadFrameListFile(path);
    if (lines.empty()) throw Error(path + ": the frame list names no frames");
    return lines;
}

void WriteFrameListFile(const std::string& path, const std::vector<std::string>& lines) {
    SafeFileWriter out(path);
    for (const std::string& line : lines) {
        out.Write(line);
        out.Write("\r\n");
    }
    out.Commit();
}

void FramelistsavebuttonClick(AppContext& c) {
    DialogSpec spec;
    spec.Title = "Save frame list";
    spec.Filter = c.form.SaveDialog2.Filter;
    spec.DefaultExt = c.form.SaveDialog2.DefaultExt;
    spec.InitialDir = c.form.DirectoryListBox1.Directory;
    auto choice = c.host.SaveDialog(spec);
    if (choice && !choice->Files.empty()) {
        std::vector<std::string> lines;
        for (int i = 0; i <= c.ws.LastFrame && i < kMaxFrames; ++i)
            if (!c.ws.Frames[std::size_t(i)].Excluded) lines.push_back(c.ws.FileNames[std::size_t(i)]);
        WriteFrameListFile(choice->Files[0], lines);
        NoteSaved(c.ws, choice->Files[0]);
    }
    c.host.SetCaption(MakeCaption(c.ws, CaptionKind::Saved));
}

void LoadFrameList(AppContext& c, const std::string& path, bool append) {
    LoadFrameList(c, path, append ? ReadFrameListFile(path) : ReadFrameListToOpen(path), append);
}

void LoadFrameList(AppContext& c, const std::string& path, const std::vector<std::string>& lines, bool append) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    if (!append && lines.empty()) throw Error(path + ": the frame list names no frames");  // see ReadFrameListToOpen
    ItemList& list = f.SelectFramesChecklist;
    if (!append) {
        list.Clear();
        ws.IsImageSeries = true;
        ws.IsJpeg = ws.IsFits = ws.IsTiff = ws.IsPng = false;
        f.AddFramesButton.Visible = true;
    }
    const int start = append ? list.Count() : 0;
    int n = start;
    for (const std::string& line : lines) {
        if (n >= kMaxFrames) {
            c.host.Message(MsgKind::Warning, "Warning : only 5000 frames can be processed", Buttons::Ok);
            break;
        }
        ws.FileNames[std::size_t(n)] = line;
        list.Add(FileNameOf(line), true);
        ws.Frames[std::size_t(n)].Excluded = 0;
        ++n;
    }
    // The folder of the last frame taken, stored once: every store write reaches the disk, and
    // one per line of a list alternating between two folders took half a minute for 5000 lines.
    // Stored absolute: a list line relative to the working directory would otherwise leave a
    // folder in the user's store that means nothing at the next start.
    if (n > start) {
        std::error_code ec;
        c.Settings.WriteString("Files", "Dir",
                               fs::absolute(fs::path(ws.FileNames[std::size_t(n - 1)]), ec).lexically_normal().parent_path().string());
    }
    if (append) {
        ws.LastFrame = std::max(0, list.Count() - 1);
        f.PreviewSlider.MaxValue = f.AlignSlider.MaxValue = f.StackSlider.MaxValue = ws.LastFrame;
        ws.RecountSelected();
        return;
    }

    SetSeriesTypeFromName(c, ws.FileNames[0]);
    c.Settings.WriteString("Files", "Lasttype", ws.IsJpeg ? "JPG" : "BMP");
    c.host.SetCaption(MakeCaption(ws, CaptionKind::Input, 0));
    {
        std::vector<int> order(std::size_t(std::min(n, kMaxFrames)));
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = int(i);
        LoadFirstReadableFrame(c, order);
    }
    f.PreviewImage.Enabled = true;
    SetSizesFromFirstFrame(c, "BMP or JPEG too large  !!!!");
    ws.LastFrame = n - 1;
    f.PreviewSlider.MaxValue = f.AlignSlider.MaxValue = f.StackSlider.MaxValue = ws.LastFrame;
    f.PreviewSlider.Value = std::clamp(f.PreviewSlider.Value, 0, ws.LastFrame);
    ShowFrame(c, f.PreviewSlider.Value);
    ws.AlignBoxSize = 1 << (std::clamp(f.FFTsizeGroup.ItemIndex, 0, 3) + 5);
    MarkMissingFrames(c, ws.LastFrame + 1);
    for (int i = 0; i <= ws.LastFrame; ++i) {
        FrameRecord& r = ws.Frames[std::size_t(i)];
        r.ShiftX = r.ShiftY = r.ShiftXa = r.ShiftYa = 0;
        r.Quality = r.Difference = r.QualityA = r.DifferenceA = 0;
        r.Excluded = r.Dropped;  // a frame that could not be read stays out
    }
    ws.RecountSelected();
    ws.ProgStatus = 0;
    f.UseFramesign.Visible = true;
    f.CreateDarkframe.Visible = f.CreateFlatfield.Visible = true;
    ShowFrameState(c, f.PreviewSlider.Value);
}

std::optional<std::string> AskFrameListFile(AppContext& c, const std::string& title) {
    DialogSpec spec;
    spec.Title = title;
    spec.Filter = c.form.OpenDialog1.Filter;
    spec.InitialDir = c.form.DirectoryListBox1.Directory;
    auto choice = c.host.OpenDialog(spec);
    if (!choice || choice->Files.empty()) return std::nullopt;
    return choice->Files[0];
}

void AddFramesButtonClick(AppContext& c) {
    if (const auto path = AskFrameListFile(c, "Add frames")) LoadFrameList(c, *path, true);
}

void BitBtn10Click(AppContext& c) {
    if (!c.ws.IsImageSeries) return;
    c.form.SelectFramesChecklist.Clear();
    c.form.PreviewSlider.MaxValue = c.form.AlignSlider.MaxValue = c.form.StackSlider.MaxValue = 1;
}

void FramelistSortbuttonClick(AppContext& c) {
    Workspace& ws = c.ws;
    ItemList& list = c.form.SelectFramesChecklist;
    if (!ws.IsImageSeries) return;
    const int n = std::min(list.Count(), kMaxFrames);
    auto first = ws.FileNames.begin(), last = ws.FileNames.begin() + n;
    std::stable_sort(first, last, [](const std::string& a, const std::string& b) { return ToLower(a) < ToLower(b); });
    list.Clear();
    for (int i = 0; i < n; ++i) {
        list.Add(FileNameOf(ws.FileNames[std::size_t(i)]), true);
        ws.Frames[std::size_t(i)].Excluded = 0;
    }
    ws.RecountSelected();
}

}  // namespace talvenor
