#include "input/frame_display.h"

#include <algorithm>

#include "input/frame_loader.h"
#include "input/unreadable_frames.h"
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
        if (LoadFrameOrSkip(c, i)) {
            ShowCurrentFrame(c);
        } else {
            // Nothing of another frame is shown in its place.
            Bitmap24& shown = c.form.PreviewImage.Image;
            for (int y = 0; y < shown.Height(); ++y) std::fill_n(shown.Row(y), std::size_t(shown.Width()) * 3, uint8_t(0));
            shown.Touch();
        }
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
