#include "input/frame_display.h"

#include "input/frame_loader.h"
#include "input/frame_selection.h"
#include "workspace/canvas.h"
#include "workspace/caption.h"

namespace talvenor {

void ShowCurrentFrame(AppContext& c) {
    c.form.PreviewImage.Image = c.ws.CurrentFrameImage;
    c.form.PreviewImage.Image.Touch();
    c.host.Repaint(&c.form.PreviewImage);
}

void ShowFrame(AppContext& c, int i, const PassSteps& steps) {
    Workspace& ws = c.ws;
    if (i < 0 || i >= kMaxFrames) return;
    ws.CancelRequested = false;
    if (c.form.SelectFrameswindow.Visible && i < c.form.SelectFramesChecklist.Count())
        c.form.SelectFramesChecklist.ItemIndex = i;
    if (ws.IsImageSeries) {
        LoadFrame(c, ws.FileNames[std::size_t(i)]);
        ShowCurrentFrame(c);
        c.host.SetCaption(MakeCaption(ws, CaptionKind::Input, i));
    } else {
        ReadAviFrames(c, AviPath(c), i, steps);
    }
    ShowFrameState(c, i);
    if (ws.Frames[std::size_t(i)].Dropped) {
        Canvas canvas(c.form.PreviewImage.Image);
        canvas.Pen.Colour = 0xFFFFFF;
        canvas.TextOut(0, 10, "Dropped Frame");
        c.host.Repaint(&c.form.PreviewImage);
    }
}

}  // namespace talvenor
