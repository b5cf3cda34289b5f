#include "stacking/stack_selection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "input/avi_frames.h"
#include "input/frame_loader.h"
#include "input/unreadable_frames.h"
#include "registration/quality.h"
#include "workspace/canvas.h"
#include "workspace/caption.h"
#include "workspace/text_util.h"

namespace talvenor {

float LargestDifference(const AppContext& c) {
    float d = 0;
    for (int k = 0; k <= std::clamp(c.form.StackSlider.MaxValue, 0, kMaxFrameIndex); ++k) {
        const int frame = c.ws.Ranking[std::size_t(k)].FrameIndex;
        if (frame >= 0 && frame < kMaxFrames) d = std::max(d, c.ws.Frames[std::size_t(frame)].Difference);
    }
    return d;
}

void StackSliderChange(AppContext& c, const StackerState& st) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    const int cut = std::clamp(f.StackSlider.Value, 0, kMaxFrameIndex);
    const int best = ws.Ranking[0].FrameIndex;
    float q0 = best >= 0 && best < kMaxFrames ? ws.Frames[std::size_t(best)].Quality : 0;
    if (q0 == 0) q0 = 1;
    const int fc = std::clamp(ws.Ranking[std::size_t(cut)].FrameIndex, 0, kMaxFrameIndex);

    const float d = LargestDifference(c);
    const int n = ws.AlignBoxSize > 0 ? ws.AlignBoxSize : 1;
    // Hundredths, divided rather than multiplied by 0.01, so the text has two decimals at
    // most (35 * 0.01 would print as 0.35000000000000003).
    f.RxLabel4.Caption = "Difference Cutoff (blue line) max =" +
                         FormatNumber(std::trunc(double(d) / n / n * 100) / 100.0);
    // The frames the stack will take, counted as the stacker picks them (excluded frames and
    // those over the difference cut left out); the slider's caption and "n =" say the same.
    const std::size_t count = StackedRanks(c).size();
    f.StackSlider.Caption = "Frames to stack: " + std::to_string(count);
    f.StackInfoLabel.Caption = "Stacking : quality >= " +
                               std::to_string(int(std::trunc(ws.Frames[std::size_t(fc)].Quality / q0 * 100))) +
                               "% , difference <= " + std::to_string(f.differencecutslider.Value) + "% , n = " +
                               std::to_string(count);

    // The frame at the cut-off, as the stack picture until a stack replaces it.
    if (ws.IsImageSeries) {
        if (!ws.FileNames[std::size_t(fc)].empty() && LoadFrameOrSkip(c, fc))
            c.host.SetCaption(MakeCaption(ws, CaptionKind::StackSlider, fc));
    } else if (ws.AviFileName != "none") {
        const int keepW = ws.ImageWidth, keepH = ws.ImageHeight;
        ReadAviFrames(c, AviPath(c), fc);
        ws.ImageWidth = keepW;
        ws.ImageHeight = keepH;
    }
    Bitmap24& picture = f.Stackimage.Image;
    picture.SetSize(ws.ImageWidth, ws.ImageHeight);
    const Bitmap24& frame = ws.CurrentFrameImage;
    for (int y = 0; y < std::min(ws.ImageHeight, frame.Height()); ++y)
        std::copy_n(frame.Row(y), 3 * std::min(ws.ImageWidth, frame.Width()), picture.Row(y));
    picture.Touch();
    c.host.Repaint(&f.Stackimage);

    if (ws.MakingCalibration) return;
    DrawRankGraph(c);
    Picture& graph = f.StackGraph;
    graph.Axes.Legend.push_back({0x008000, "frames stacked, by weight"});
    const int wg = f.imgGraph.Width, hg = f.imgGraph.Height;
    Canvas canvas(graph.Image);
    canvas.Pen.Colour = 0xFF0000;
    const int maxRank = f.StackSlider.MaxValue;
    const int x = maxRank > 0 ? int(std::nearbyint(double(wg) * f.StackSlider.Value / maxRank)) : 0;
    canvas.MoveTo(x, 0);
    canvas.LineTo(x, hg);
    canvas.Pen.Colour = 0x008000;
    if (st.StackFrameCount > 1 && maxRank > 0) {
        const double r = double(st.StackListLength - 1) / st.StackFrameCount;
        canvas.MoveTo(0, 0);
        const float first = ws.Ranking[1].StackValue;
        for (int i = 1; i <= st.StackFrameCount && i < kMaxFrames; ++i)
            canvas.LineTo(int(std::nearbyint(wg * i * r / maxRank)),
                          hg - int(std::nearbyint(hg * ws.Ranking[std::size_t(i)].StackValue / (first + 0.000001))));
    }
    c.host.Repaint(&graph);
}

void ToggleStackListItems(AppContext& c, int clicked) {
    ItemList& list = c.form.StackFramesList;
    ItemList& frames = c.form.SelectFramesChecklist;
    for (int k = 0; k < list.Count(); ++k) {
        const bool toggle = list.Selected[std::size_t(k)] || k == clicked;
        if (!toggle) continue;
        // The clicked item's own check mark has already changed; the others change here.
        if (k != clicked) list.Checked[std::size_t(k)] = !list.Checked[std::size_t(k)];
        const int frame = c.ws.Ranking[std::size_t(k)].FrameIndex;
        if (frame < 0 || frame >= kMaxFrames) continue;
        c.ws.Frames[std::size_t(frame)].Excluded = list.Checked[std::size_t(k)] ? 0 : 1;
        if (frame < frames.Count()) frames.Checked[std::size_t(frame)] = c.ws.Frames[std::size_t(frame)].Excluded == 0;
    }
    c.ws.RecountSelected();
}

}  // namespace talvenor
