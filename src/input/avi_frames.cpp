#include "input/avi_frames.h"

#include <algorithm>

#include "input/avi_file.h"
#include "input/deinterlace.h"
#include "input/frame_display.h"
#include "workspace/progress_window.h"

namespace talvenor {

namespace {

void RunSteps(AppContext& c, const PassSteps& steps) {
    if (c.ws.AlignPassActive && steps.AlignStep) steps.AlignStep();
    if (c.ws.StackPassActive && steps.StackStep) steps.StackStep();
}

// Restores the normal cursor however the call ends.
struct CursorRestorer {
    Host& host;
    ~CursorRestorer() { host.SetCursor(CursorKind::Default); }
};

}  // namespace

std::filesystem::path AviPath(const AppContext& c) {
    return std::filesystem::path(c.form.DirectoryListBox1.Directory) / c.ws.AviFileName;
}

void ReadAviFrames(AppContext& c, const std::filesystem::path& path, int64_t mode, const PassSteps& steps) {
    if (mode == kAviNothing) return;
    Workspace& ws = c.ws;
    ws.DroppedFramesSeen = false;
    CursorRestorer restore{c.host};
    AviFile avi(path);

    // Stream positions run from dwStart for dwLength frames.
    int64_t first = avi.Start();
    int64_t last = avi.Start() + avi.Length() - 1;
    c.form.PreviewSlider.MaxValue = int(std::clamp<int64_t>(avi.Length() - 1, 0, kMaxFrameIndex));
    if (last - first > 4998) last = first + 4999;
    if (mode >= 0) {
        first = std::max(mode, avi.Start());
        last = first;
    }
    // The frame table has 5001 records, indexed by stream position: a stream that starts
    // late cannot use positions beyond them.
    last = std::min<int64_t>(last, kMaxFrameIndex);

    const bool passActive = ws.AlignPassActive || ws.StackPassActive;
    struct RefreshRestorer {
        bool& flag;
        ~RefreshRestorer() { flag = true; }
    } restoreRefresh{ws.RefreshDisplays};
    Bitmap24 kept;  // the decoded frame, to restore between the two de-interlace fields
    int counted = 0;
    for (int64_t i = first; i <= last; ++i) {
        FrameRecord& f = ws.Frames[std::size_t(i)];
        if (f.Excluded && passActive) continue;
        if (!f.Excluded) {
            ++counted;
            if (first != last && ws.SelectedCount > 0) SetProgress(c.form, c.host, counted, ws.SelectedCount);
        }
        c.host.PumpMessages();
        if (ws.CancelRequested) break;

        if (avi.FindSample(i) != i) {
            f.Excluded = 1;
            f.Dropped = 1;
            ItemList& list = c.form.SelectFramesChecklist;
            if (i < list.Count()) {
                list.Items[std::size_t(i)] = "dropped frame";
                list.Checked[std::size_t(i)] = true;
                list.Grayed[std::size_t(i)] = true;
            }
            ws.DroppedFramesSeen = true;
        }

        avi.DecodeFrame(i, ws.CurrentFrameImage);
        ws.RefreshDisplays = first == last || c.host.TimeToShowProgress();
        if (mode >= 0) {
            ws.ImageHeight = ws.UnclampedHeight = avi.Height();
            ws.ImageWidth = ws.UnclampedWidth = avi.Width();
            ws.ImageWidth = std::min(ws.ImageWidth, kMaxImageSide);
            ws.ImageHeight = std::min(ws.ImageHeight, kMaxImageSide);
            ws.SourceWidth = ws.ImageWidth;
            ws.SourceHeight = ws.ImageHeight;
        }
        ws.CurrentFrame = int(i);

        if (f.Excluded) {
            if (ws.RefreshDisplays) ShowCurrentFrame(c);
            continue;
        }
        if (!c.form.Interlaced.Checked) {
            if (ws.RefreshDisplays) ShowCurrentFrame(c);
            RunSteps(c, steps);
        } else {
            const bool horizontal = c.form.InterlaceHoriz.Checked;
            kept = ws.CurrentFrameImage;
            ws.FieldIndex = 0;
            Deinterlace(ws.CurrentFrameImage, 0, horizontal, ws.SourceWidth, ws.SourceHeight);
            RunSteps(c, steps);
            ws.FieldIndex = 1;
            ws.CurrentFrameImage = kept;
            Deinterlace(ws.CurrentFrameImage, 1, horizontal, ws.SourceWidth, ws.SourceHeight);
            if (ws.RefreshDisplays) ShowCurrentFrame(c);
            RunSteps(c, steps);
        }
    }
}

}  // namespace talvenor
