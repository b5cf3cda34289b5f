#include "input/frame_selection.h"

#include <filesystem>

#include "workspace/canvas.h"

namespace talvenor {

namespace {

constexpr uint32_t kGreen = 0x00C000, kRed = 0xE00000, kGrey = 0x808080;

bool InSequence(const AppContext& c, int frame) { return frame >= 0 && frame <= c.ws.LastFrame && frame < kMaxFrames; }

// Keeps the list item of a frame in step with its record.
void SyncItem(AppContext& c, int frame) {
    ItemList& list = c.form.SelectFramesChecklist;
    if (frame < 0 || frame >= list.Count()) return;
    const FrameRecord& f = c.ws.Frames[std::size_t(frame)];
    list.Checked[std::size_t(frame)] = f.Dropped ? true : f.Excluded == 0;
    list.Grayed[std::size_t(frame)] = f.Dropped != 0;
}

void Finish(AppContext& c, int frame) {
    c.ws.RecountSelected();
    ShowFrameState(c, frame);
}

}  // namespace

void DrawFrameSign(AppContext& c, int frame) {
    Picture& sign = c.form.UseFramesign;
    if (sign.Image.Width() != sign.Width || sign.Image.Height() != sign.Height) sign.Image.SetSize(sign.Width, sign.Height);
    uint32_t colour = kGreen;
    if (InSequence(c, frame)) {
        const FrameRecord& f = c.ws.Frames[std::size_t(frame)];
        colour = f.Excluded ? kRed : kGreen;
        if (f.Dropped) colour = kGrey;
    }
    sign.Image.Fill(ColourOf(0xF0F0F0));
    Canvas canvas(sign.Image);
    canvas.Pen.Colour = colour;
    canvas.Brush.Colour = colour;
    canvas.Ellipse(0, 0, sign.Width, sign.Height);
    c.host.Repaint(&sign);
}

void ShowFrameState(AppContext& c, int frame) {
    c.form.Frames.Caption = c.ws.FrameLabel(frame);
    DrawFrameSign(c, frame);
}

void PreviewSliderKeyDown(AppContext& c, int key) {
    if (key != ' ') return;
    const int i = c.form.PreviewSlider.Value;
    if (!InSequence(c, i)) return;
    FrameRecord& f = c.ws.Frames[std::size_t(i)];
    if (!f.Dropped) f.Excluded = f.Excluded ? 0 : 1;
    SyncItem(c, i);
    Finish(c, i);
}

void SelectFramesChecklistClickCheck(AppContext& c, int item) {
    ItemList& list = c.form.SelectFramesChecklist;
    if (!InSequence(c, item) || item >= list.Count()) return;
    FrameRecord& f = c.ws.Frames[std::size_t(item)];
    f.Excluded = list.Checked[std::size_t(item)] ? 0 : 1;
    if (f.Dropped) f.Excluded = 1;
    SyncItem(c, item);
    Finish(c, item);
}

void SelectFramesChecklistDblClick(AppContext& c) {
    ItemList& list = c.form.SelectFramesChecklist;
    for (int i = 0; i < list.Count() && InSequence(c, i); ++i) {
        if (!list.Selected[std::size_t(i)]) continue;
        FrameRecord& f = c.ws.Frames[std::size_t(i)];
        f.Excluded = f.Excluded ? 0 : 1;
        if (f.Dropped) f.Excluded = 1;
        SyncItem(c, i);
    }
    Finish(c, c.form.PreviewSlider.Value);
}

bool SelectFramesChecklistClick(AppContext& c, int item) {
    if (item < 0 || item > c.form.PreviewSlider.MaxValue) return false;
    c.form.PreviewSlider.Value = item;
    return true;
}

namespace {
// "Set all" and "Set none": every frame of the sequence, dropped ones included.
void SetAllFrames(AppContext& c, bool selected) {
    ItemList& list = c.form.SelectFramesChecklist;
    for (int i = 0; InSequence(c, i); ++i) {
        c.ws.Frames[std::size_t(i)].Excluded = selected ? 0 : 1;
        if (i < list.Count()) {
            list.Checked[std::size_t(i)] = selected;
            list.Grayed[std::size_t(i)] = false;
        }
    }
    Finish(c, c.form.PreviewSlider.Value);
}
}  // namespace

void BitBtn4Click(AppContext& c) { SetAllFrames(c, true); }

void BitBtn5Click(AppContext& c) { SetAllFrames(c, false); }

void ShowFramelistClick(AppContext& c) {
    c.form.SelectFrameswindow.Visible = c.form.ShowFramelist.Checked;
    for (int i = 0; InSequence(c, i); ++i) {
        FrameRecord& f = c.ws.Frames[std::size_t(i)];
        if (!f.Dropped) continue;
        f.Excluded = 1;
        SyncItem(c, i);
    }
    c.ws.RecountSelected();
    if (c.form.SelectFrameswindow.Visible) c.form.SelectFramesChecklist.ItemIndex = c.form.PreviewSlider.Value;
}

void RebuildFrameChecklist(AppContext& c) {
    ItemList& list = c.form.SelectFramesChecklist;
    list.Clear();
    for (int i = 0; InSequence(c, i); ++i) {
        std::string text = c.ws.IsImageSeries ? std::filesystem::path(c.ws.FileNames[std::size_t(i)]).filename().string()
                                              : "Frame " + std::to_string(i + 1);
        const FrameRecord& f = c.ws.Frames[std::size_t(i)];
        // A series keeps the file's name, so the user knows which file to look at.
        if (f.Dropped) text = c.ws.IsImageSeries ? text + " (unreadable)" : "dropped frame";
        list.Add(std::move(text), f.Excluded == 0 || f.Dropped);
        list.Grayed.back() = f.Dropped != 0;
    }
}

}  // namespace talvenor
