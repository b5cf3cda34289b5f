#include "session/alignment.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "input/avi_frames.h"
#include "input/frame_display.h"
#include "input/frame_loader.h"
#include "registration/align_step.h"
#include "registration/quality.h"
#include "registration/quality_box.h"
#include "registration/quality_lanes.h"
#include "registration/reference.h"
#include "session/page_change.h"
#include "session/status_settle.h"
#include "session/tool_windows.h"
#include "session/unsaved_work.h"
#include "session/wavelet_process.h"
#include "workspace/canvas.h"
#include "workspace/caption.h"
#include "workspace/progress_window.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace {

// The box outline that follows the pointer, drawn in exclusive-or so drawing it again
// erases it.
void DrawOutline(Picture& picture, int cx, int cy, int n) {
    Canvas canvas(picture.Image);
    canvas.Pen.Colour = 0xFFFFFF;
    canvas.Pen.Mode = PenMode::Xor;
    canvas.Brush.Style = BrushStyle::Clear;
    canvas.Rectangle(cx - n / 2, cy - n / 2, cx + n / 2, cy + n / 2);
}

void ShowFrameAt(Session& s, int i) { ShowFrame(s.ctx, i, PassSteps{}); }

void AlignOnce(Session& s) { AlignStep(s.ctx, s.fft, s.align); }

}  // namespace

void SyncBoxSize(Session& s) {
    const int n = 1 << (std::clamp(s.form.FFTsizeGroup.ItemIndex, 0, 3) + 5);
    s.ws.AlignBoxSize = n;
    if (s.fft.AlignBoxSize() != n) s.fft.SetTransformSize(n);
    // The spectrum window names the box it shows (its start-up caption names the largest
    // but one, whatever box the settings chose).
    s.form.FFTWindow.Caption = "FFT spectrum " + std::to_string(n) + "x" + std::to_string(n);
}

void PreviewImageMouseDown(Session& s, const EventArgs& e) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    AlignmentState& a = s.align;
    if (f.FilterWindow.Visible || !f.PreviewImage.Enabled) return;
    if (e.Button != MouseButton::Left) return;
    const int shown = std::clamp(f.PreviewSlider.Value, 0, kMaxFrameIndex);
    if (ws.Frames[std::size_t(shown)].Excluded) return;
    if (ws.CurrentFrameImage.Empty()) return;  // nothing opened yet
    ws.CancelRequested = false;
    f.TabSheet2.TabVisible = true;
    SyncBoxSize(s);
    const int n = ws.AlignBoxSize, h = n / 2;
    if (!FeatureInsideBorder(ws, n, e.X, e.Y)) {
        s.host.Message(MsgKind::Warning, " Alignment feature too close to image border ", Buttons::Ok);
        return;
    }
    ws.ProgStatus = 1;
    a.FeatureFrame = shown;
    ShowFrameAt(s, shown);
    f.label4.Visible = false;
    f.AlignImage.Image.SetSize(ws.ImageWidth, ws.ImageHeight);
    f.AlignOneBUtton.Enabled = true;
    ClearSpectrumPicture(s.ctx);
    a.ClearTracking();
    ws.AlignX = e.X;
    ws.AlignY = e.Y;
    a.AlignBoxX = e.X - h;
    a.AlignBoxY = e.Y - h;
    a.PreviewOutline.reset();
    ws.ReferenceFrame = shown;
    f.ShowFFTbox.Checked = f.Showgraphbox.Checked = true;
    CalculateReferenceFFT(s.ctx, s.fft, a);
    GoToPage(s, kPageAligning);
    f.FFTWindow.Visible = f.ShowFFTbox.Checked;
    f.AlignOneBUtton.Visible = f.ShowFFTbox.Checked;
    Alignonebuttonclick(s);
    f.Propertywindow.Visible = f.Showgraphbox.Checked;
    f.SelectFrameswindow.Visible = false;
}

void PreviewImageMouseMove(Session& s, const EventArgs& e) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    AlignmentState& a = s.align;
    if (ws.CurrentFrameImage.Empty() || f.PreviewImage.Image.Empty()) return;
    const int shown = std::clamp(f.PreviewSlider.Value, 0, kMaxFrameIndex);
    if (ws.Frames[std::size_t(shown)].Excluded) {
        s.host.SetCursor(CursorKind::Default);
        return;
    }
    const int n = ws.AlignBoxSize, h = n / 2;
    const bool nearBorder = e.X < h || e.Y < h || ws.ImageWidth - e.X - 1 < h || ws.ImageHeight - e.Y - 1 < h;
    s.host.SetCursor(nearBorder ? CursorKind::Default : CursorKind::Cross);
    if (!a.OutlineErased && a.PreviewOutline) DrawOutline(f.PreviewImage, a.PreviewOutline->first, a.PreviewOutline->second, n);
    a.OutlineErased = false;
    a.PreviewOutline.reset();
    if (!nearBorder) {
        DrawOutline(f.PreviewImage, e.X, e.Y, n);
        a.PreviewOutline = std::make_pair(e.X, e.Y);
    }
    s.host.Repaint(&f.PreviewImage);
    ws.RecountSelected();
    f.Frames.Caption = ws.FrameLabel(shown);
}

void AlignImageMouseDown(Session& s, const EventArgs& e) {
    AlignmentState& a = s.align;
    if (!a.WaitingForClick) return;
    a.ClickX = e.X;
    a.ClickY = e.Y;
    a.WaitingForClick = false;
}

void AlignImageMouseMove(Session& s, const EventArgs& e) {
    AlignmentState& a = s.align;
    if (!a.WaitingForClick) return;
    Picture& view = s.form.AlignImage;
    const int n = s.ws.AlignBoxSize;
    if (a.AlignOutline) DrawOutline(view, a.AlignOutline->first, a.AlignOutline->second, n);
    DrawOutline(view, e.X, e.Y, n);
    a.AlignOutline = std::make_pair(e.X, e.Y);
    s.host.Repaint(&view);
}

void Alignonebuttonclick(Session& s) {
    AlignmentState& a = s.align;
    Workspace& ws = s.ws;
    a.PreviousPeak = 0;
    a.ClearTracking();
    const int h = ws.AlignBoxSize / 2;
    a.AlignBoxX = ws.AlignX - h;
    a.AlignBoxY = ws.AlignY - h;
    s.form.PreviewSlider.Value = a.FeatureFrame;
    ShowFrameAt(s, a.FeatureFrame);
    CalculateReferenceFFT(s.ctx, s.fft, a);
    AlignOnce(s);
}

void FFTsizeGroupClick(Session& s) {
    if (!s.ws.CurrentFrameImage.Empty()) ShowFrameAt(s, s.form.PreviewSlider.Value);
    ChangeBoxSize(s.ctx, s.fft, s.align);
}

void UseProcessedClick(Session& s) {
    Controls& f = s.form;
    if (!f.UseProcessed.Checked || f.ProcessImage.Image.Empty()) return;
    s.ws.ProgStatus = 1;
    GoToPage(s, kPageAligning);
    f.FFTWindow.Visible = f.ShowFFTbox.Checked;
    f.Propertywindow.Visible = f.Showgraphbox.Checked;
    f.HLSWindow.Visible = f.GammaWindow.Visible = f.HistoWindow.Visible = f.FilterWindow.Visible = false;
    ClearSpectrumPicture(s.ctx);
    s.align.ClearTracking();
    f.ShowFFTbox.Checked = f.Showgraphbox.Checked = true;
    // The area marks are no part of the picture to align on.
    f.PreviewImage.Image = ProcessedPicture(s);
    s.ws.CurrentFrameImage = f.PreviewImage.Image;
    const int h = s.ws.AlignBoxSize / 2;
    s.align.AlignBoxX = s.ws.AlignX - h;
    s.align.AlignBoxY = s.ws.AlignY - h;
    CalculateReferenceFFT(s.ctx, s.fft, s.align);
}

namespace {

// Clears the frame table's measures and sets the pass up: the status, the progress, the
// reference box and the transform size. Returns the pass's start time.
int64_t PrepareAlignmentPass(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    AlignmentState& a = s.align;
    Host& host = s.host;
    if (a.ManualAlignOn)
        host.Message(MsgKind::Information, " Point at the alignmentfeature and left-click ", Buttons::Ok);
    f.Optimizebutton.Visible = true;
    f.AlignSlider.Visible = false;
    const int64_t start = host.NowMs();
    ws.ProgStatus = 2;
    f.ShowFFTbox.Checked = false;
    f.FFTWindow.Visible = false;
    for (FrameRecord& r : ws.Frames) {
        r.ShiftX = r.ShiftY = r.ShiftXa = r.ShiftYa = 0;
        r.SubShiftX = r.SubShiftY = r.Quality = r.Difference = r.QualityA = r.DifferenceA = 0;
        r.OptimizeScore = 100.0f;
    }
    for (RankEntry& r : ws.Ranking) r = RankEntry{};
    f.AlignImage.Image.SetSize(ws.ImageWidth, ws.ImageHeight);
    f.Stackimagesize.Caption = "Image : " + std::to_string(ws.ImageWidth) + "x" + std::to_string(ws.ImageHeight);
    f.label4.Visible = true;
    if (f.UseDarkFrame.Checked && (ws.SourceWidth != ws.DarkWidth || ws.SourceHeight != ws.DarkHeight))
        host.Message(MsgKind::Warning, " darkframe size does not match imagesize !!", Buttons::Ok);
    if (f.UseFlatfield.Checked && (ws.SourceWidth != ws.FlatWidth || ws.SourceHeight != ws.FlatHeight))
        host.Message(MsgKind::Warning, " flatfield size does not match imagesize !!", Buttons::Ok);
    f.Haltbutton.Visible = f.Misalignwarning.Checked;
    a.PreviousPeak = 0;
    f.Optimizebutton.Enabled = true;
    ShowProgress(f, host, "Alignment processing");
    ws.CancelRequested = false;
    f.TabSheet3.TabVisible = true;
    f.label4.Caption = "FFT spectrum ";
    ws.AlignPassActive = true;
    a.ClearTracking();
    const int n = ws.AlignBoxSize;
    a.AlignBoxX = ws.AlignX - n / 2;
    a.AlignBoxY = ws.AlignY - n / 2;
    f.AlignSlider.MaxValue = f.PreviewSlider.MaxValue;
    if (s.fft.AlignBoxSize() != ws.AlignBoxSize) s.fft.SetTransformSize(ws.AlignBoxSize);
    if (f.Resampled.Checked) ws.ResampleFactor = float(f.ResampleSpin.Value);
    host.SetCursor(CursorKind::Busy);
    return start;
}

// Every selected frame, through the series loop or the AVI's own. The frames are counted as
// they are aligned (both fields of a de-interlaced frame once), so the status left behind says
// how far the pass got. Returns that count.
int AlignEveryFrame(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    Host& host = s.host;
    int aligned = 0, lastAligned = -1;
    auto alignCounted = [&s, &aligned, &lastAligned] {
        if (s.ws.CurrentFrame != lastAligned) ++aligned;
        lastAligned = s.ws.CurrentFrame;
        AlignOnce(s);
    };
    // The qualities measured beside the pass are all stored before the pass counts as done;
    // however it ends, their lanes end with it.
    struct PassQuality {
        AlignmentState& a;
        PassQuality(AlignmentState& state, Workspace& ws) : a(state) {
            a.PassQuality = std::make_shared<QualityLanes>();
            a.QualitiesBeside = 0;
            ws.ReaderKeptUp = true;
        }
        ~PassQuality() { a.PassQuality.reset(); }
    } quality(s.align, ws);
    try {
        if (ws.IsImageSeries) {
            SeriesPass pass;
            for (int k = 0; k <= ws.LastFrame; ++k) pass.Frames.push_back(k);
            pass.Total = ws.SelectedCount;
            pass.AlignmentPass = true;
            pass.Step = [&s, &alignCounted] {
                if (s.form.Misalignwarning.Checked) s.form.Haltbutton.Visible = true;
                alignCounted();
            };
            RunSeriesPass(s.ctx, pass);
        } else {
            host.SetCaption("Talvenor processing AVI: " + ws.AviFileName);
            ReadAviFrames(s.ctx, AviPath(s.ctx), kAviWholeStream,
                          PassSteps{alignCounted, {}, [&s](int64_t) { return AlignStepRows(s.ctx, s.fft, s.align); }});
            if (ws.DroppedFramesSeen) host.SetCaption(MakeCaption(ws, CaptionKind::DroppedFrames));
        }
        s.align.PassQuality->Finish();
    } catch (...) {
        ws.AlignPassActive = false;
        f.Haltbutton.Visible = false;
        HideProgress(f, host);
        throw;
    }
    f.Haltbutton.Visible = false;
    f.Stackimagesize.Caption = "Image : " + std::to_string(ws.ImageWidth) + "x" + std::to_string(ws.ImageHeight);
    ws.AlignPassActive = false;
    return aligned;
}

// The ranking of the aligned frames and the Stacking page's list of them. Returns the
// frames' total difference for the optimizer.
double RankAlignedFrames(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    double total = 0;
    for (int k = 0; k <= ws.LastFrame; ++k) {
        total += ws.Frames[std::size_t(k)].Difference;
        ws.Ranking[std::size_t(k)].FrameIndex = k;
        ws.Ranking[std::size_t(k)].RankQuality = ws.Frames[std::size_t(k)].Quality;
    }
    if (f.Resampled.Checked) total = 1;
    SortRanking(ws);
    ShowFrameAt(s, 0);
    f.AlignSlider.MaxValue = f.StackSlider.MaxValue = std::max(0, ws.SelectedCount - 1);
    ItemList& stackList = f.StackFramesList;
    stackList.Clear();
    for (int r = 0; r <= ws.LastFrame; ++r) {
        const int frame = ws.Ranking[std::size_t(r)].FrameIndex;
        const ItemList& frames = f.SelectFramesChecklist;
        stackList.Add(frame < frames.Count() ? frames.Items[std::size_t(frame)] : "Frame " + std::to_string(frame + 1),
                      ws.Frames[std::size_t(frame)].Excluded == 0);
    }
    return total;
}

// The optimizer, run again while each run still improves the total difference enough.
void OptimizeAlignedFrames(Session& s, double total) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    Host& host = s.host;
    if (total == 0) total = 1e-10;
    total *= 0.001;
    if (!f.AutoOptimize.Checked || f.SubPixelEstimate.Checked || !s.seams.Optimize) return;
    ShowProgress(f, host, "Optimizing frames");
    double t = s.seams.Optimize();
    if (f.Resampled.Checked) total = t * 10;
    while ((1 - f.OptimizeSpin.Value * 0.01) * total > t) {
        f.Messagewinlabel2.Caption = "Last improvement :" + std::to_string(std::lrint((1 - t / total) * 100)) + "%";
        total = t;
        host.PumpMessages();
        if (ws.CancelRequested) break;
        t = s.seams.Optimize();
    }
}

// A finished pass: ranking, optimisation, the stack slider at the automatic cut and, for
// "Align && stack", the stack.
void FinishAlignmentPass(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    Host& host = s.host;
    const double total = RankAlignedFrames(s);
    // Every pass leaves the stack slider at the good frames, not only "Align && stack":
    // left at rank 0, "Stack" would offer to stack the single best frame.
    const int cut = AlignAndStackCut(ws, ws.SelectedCount, f.OptimizeQualitySpin.Value * 0.01);
    DrawRankGraph(s.ctx);
    host.SetCursor(CursorKind::Default);
    OptimizeAlignedFrames(s, total);
    f.Messagewinlabel2.Caption = " ";
    HideProgress(f, host);
    f.StackSlider.Value = cut;
    if (s.seams.UpdateStackSelection) s.seams.UpdateStackSelection();
    f.Memo2.Lines.push_back("End of optimizer " + TimeOfDay());
    f.Scrollbox3.HorzPosition = f.Scrollbox3.VertPosition = 0;
    if (s.align.AlignAndStack && s.seams.StackAlignedFrames) {
        f.FFTWindow.Visible = f.Propertywindow.Visible = false;
        GoToPage(s, kPageStacking);
        s.seams.StackAlignedFrames();
    }
}

// A cancelled pass leaves half a frame table: the feature stays chosen, but nothing may be
// ranked or stacked from it, and the Stacking page shows only a stack this capture already had.
void AbandonAlignmentPass(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    HideProgress(f, s.host);
    s.host.SetCursor(CursorKind::Default);
    ws.ProgStatus = 1;
    f.TabSheet3.TabVisible = ws.StackReady;
}

// The timing lines of the memo.
void ReportPassTiming(Session& s, int64_t start) {
    Controls& f = s.form;
    const int64_t elapsed = s.host.NowMs() - start;
    const int frames = f.AlignSlider.MaxValue;
    if (frames > 0) {
        char perImage[32];
        std::snprintf(perImage, sizeof perImage, "%g", std::nearbyint(double(elapsed) / frames * 1000) * 0.001);
        f.Memo2.Lines.push_back(std::string("Time per image :") + perImage + " ms");
    } else {
        f.Memo2.Lines.push_back("Time per image :" + std::to_string(elapsed) + " ms");
    }
    f.Memo2.Lines.push_back("Total Time     :" + std::to_string(elapsed) + " ms");
}

}  // namespace

void AlignallButtonClick(Session& s) {
    if (!s.align.HasReference) return;  // no feature picked yet
    MarkWorkChanged(s);
    const int64_t start = PrepareAlignmentPass(s);
    const int aligned = AlignEveryFrame(s);
    if (!s.ws.CancelRequested) FinishAlignmentPass(s);
    else AbandonAlignmentPass(s);
    s.align.AlignAndStack = false;
    // The per-frame status stops wherever the screen last caught up (or at the optimizer's
    // frame); leave it saying where the pass ended.
    s.form.label4.Caption = PassDoneText(aligned, s.ws.SelectedCount);
    ReportPassTiming(s, start);
}

void AlignStackButtonClick(Session& s) {
    s.align.AlignAndStack = true;
    s.form.ShowFFTbox.Checked = false;
    s.form.Memo2.Lines.push_back(TimeOfDay());
    AlignallButtonClick(s);
}

void RecalcQualClick(Session& s) {
    s.align.AlignAndStack = true;
    s.form.ShowFFTbox.Checked = false;
    AlignallButtonClick(s);
}

void RestartAlignClick(Session& s) {
    s.form.UseProcessed.Checked = true;
    UseProcessedClick(s);
    AlignallButtonClick(s);
}

void RegisterAlignmentHandlers(Session& s) {
    Handlers& h = s.handlers;
    h.On("PreviewImage", Event::MouseDown, Handlers::Fn([&s](const EventArgs& e) { PreviewImageMouseDown(s, e); }));
    h.On("PreviewImage", Event::MouseMove, Handlers::Fn([&s](const EventArgs& e) { PreviewImageMouseMove(s, e); }));
    h.On("AlignImage", Event::MouseDown, Handlers::Fn([&s](const EventArgs& e) { AlignImageMouseDown(s, e); }));
    h.On("AlignImage", Event::MouseMove, Handlers::Fn([&s](const EventArgs& e) { AlignImageMouseMove(s, e); }));
    h.On("AlignOneBUtton", Event::Click, [&s] { Alignonebuttonclick(s); });
    h.On("FFTsizeGroup", Event::Click, [&s] { FFTsizeGroupClick(s); });
    h.On("UseProcessed", Event::Click, [&s] { UseProcessedClick(s); });
    h.On("Allignallbutton", Event::Click, [&s] { AlignallButtonClick(s); });
    h.On("AlignStackButton", Event::Click, [&s] { AlignStackButtonClick(s); });
    h.On("RecalcQual", Event::Click, [&s] { RecalcQualClick(s); });
    h.On("RestartAlign", Event::Click, [&s] { RestartAlignClick(s); });
    h.On("Haltbutton", Event::Click, [&s] { s.align.RealignRequested = true; });
    h.On("ManualAlign", Event::Click, [&s] {
        s.align.ManualAlignOn = s.form.ManualAlign.Checked;
        s.form.Misalignwarning.Checked = !s.form.ManualAlign.Checked;
    });
    h.On("ShowFFTbox", Event::Click, [&s] { s.form.AlignOneBUtton.Visible = s.form.ShowFFTbox.Checked; });
    for (const char* band : {"FFTFilterspin", "QualityFilter", "QualFilterDX"})
        h.On(band, Event::Change, [&s] { MeasureQuality(s.ctx, LastQualitySpectrum(s.align, s.fft)); });
    // A band set by hand is the user's: the automatic one no longer overwrites it.
    for (const char* band : {"QualityFilter", "QualFilterDX"})
        h.On(band, Event::Change, [&s] { s.form.AutoQualityBand.Checked = false; });
    h.On("AutoQualityBand", Event::Click, [&s] {
        if (!s.form.AutoQualityBand.Checked || !s.align.ReferenceBand) return;
        ApplyAutomaticQualityBand(s.ctx, s.align);
        MeasureQuality(s.ctx, LastQualitySpectrum(s.align, s.fft));
    });
    h.On("FFTFilter", Event::Click, [&s] { DrawGraphMarker(s.ctx); });
    // The luminance weights of registration follow their spins.
    for (const char* spin : {"RxSpinEdit1", "RxSpinEdit2", "RxSpinEdit3"})
        h.On(spin, Event::Change, [&s] {
            s.ws.LumaWeight = {float(s.form.RxSpinEdit1.Value + 0.000001), float(s.form.RxSpinEdit2.Value + 0.000001),
                               float(s.form.RxSpinEdit3.Value + 0.000001)};
        });
}

}  // namespace talvenor
