#include "session/input_selection.h"

#include <algorithm>
#include <climits>
#include <filesystem>

#include "imagefiles/file_kind.h"
#include "input/any_picture.h"
#include "input/avi_frames.h"
#include "input/frame_display.h"
#include "input/frame_lists.h"
#include "input/frame_loader.h"
#include "input/unreadable_frames.h"
#include "input/frame_selection.h"
#include "input/input_colour.h"
#include "registration/quality.h"
#include "session/alignment.h"
#include "session/alignment_point_handlers.h"
#include "session/dialog_dirs.h"
#include "session/frame_list_open.h"
#include "session/input_check.h"
#include "session/new_input_reset.h"
#include "session/tool_windows.h"
#include "session/unsaved_work.h"
#include "session/wavelet_process.h"
#include "workspace/caption.h"
#include "workspace/layer_controls.h"
#include "workspace/stack_buffers.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

void Run(const std::function<void()>& seam) {
    if (seam) seam();
}

std::string Lower(const std::string& s) { return ToLower(s); }

void SetResampleControlsVisible(Controls& f, bool visible) {
    f.Resampled.Visible = f.ResampleSpin.Visible = f.ResampleCombo.Visible = visible;
}

void SetFrameListButtonsVisible(Controls& f, bool visible) {
    f.Framelistsavebutton.Visible = f.Framelistloadbutton.Visible = f.FramelistSortbutton.Visible = visible;
}

// Steps shared by every way of opening a sequence once the frames are known.
void FinishSelection(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    f.differencecutslider.Value = 100;
    f.PreviewImage.Image.SetSize(ws.ImageWidth, ws.ImageHeight);
    f.AlignImage.Image.SetSize(ws.ImageWidth, ws.ImageHeight);
    if (ws.ImageWidth < 128 || ws.ImageHeight < 128) {
        f.FFTsizeGroup.ItemIndex = 0;
        SyncBoxSize(s);
    }
    f.AlignSlider.MaxValue = ws.LastFrame;
    if (ws.LastFrame > kMaxFrameIndex) {
        s.host.Message(MsgKind::Warning, "Warning : only 5000 frames can be processed", Buttons::Ok);
        ws.LastFrame = kMaxFrameIndex;
        f.AlignSlider.MaxValue = ws.LastFrame;
    }
    f.PreviewSlider.MaxValue = ws.LastFrame;
    f.PreviewSlider.Value = std::clamp(f.PreviewSlider.Value, 0, ws.LastFrame);
    ShowFrame(s.ctx, f.PreviewSlider.Value);
    f.StackSlider.MinValue = 0;
    f.StackSlider.MaxValue = ws.LastFrame;
    // Frames that could not be read stay out; every other frame starts selected.
    if (ws.IsImageSeries) MarkMissingFrames(s.ctx, ws.LastFrame + 1);
    int selected = 0;
    for (int i = 0; i <= ws.LastFrame; ++i) {
        FrameRecord& r = ws.Frames[std::size_t(i)];
        r.Excluded = r.Dropped;
        selected += r.Excluded ? 0 : 1;
    }
    RebuildFrameChecklist(s.ctx);
    ws.SelectedCount = selected;
    ShowFrameState(s.ctx, f.PreviewSlider.Value);
    f.Label9.Caption = "1 / " + std::to_string(ws.LastFrame + 1);
    s.host.SetCursor(CursorKind::Default);
}

void OpenAvi(Session& s, const std::string& file) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    ws.IsImageSeries = ws.IsJpeg = ws.IsFits = ws.IsTiff = ws.IsPng = false;
    SetResampleControlsVisible(f, true);
    SetFrameListButtonsVisible(f, false);
    ws.InputType = kInputAvi;
    s.Settings.WriteString("Files", "Lasttype", "AVI");
    const fs::path path = fs::absolute(file);
    f.DirectoryListBox1.Directory = path.parent_path().string();
    ws.AviFileName = path.filename().string();
    const int64_t frames = ReadAviFrames(s.ctx, path, 0);
    FollowInputColour(s);
    s.host.SetCaption("Talvenor processing AVI: " + path.string());
    const std::string proposed = path.stem().string();
    for (FileDialog* d : {&f.SaveDialog1, &f.WaveletSave, &f.SaveDialog3, &f.SaveDialog4}) d->FileName = proposed;
    s.Settings.WriteString("Files", "Dir", f.DirectoryListBox1.Directory);
    // The whole stream: a longer one than the frame table is cut, with a warning, when the
    // selection is finished.
    ws.LastFrame = int(std::clamp<int64_t>(frames - 1, 0, INT_MAX));
}

// The picture that sizes the series: the file the dialog handed over first, or, when that
// one cannot be read, the first in the series' order that can; the frames met unreadable are
// marked in the series' order, which FileNames takes here already.
void LoadFirstReadable(Session& s, std::vector<std::string> files) {
    const int count = int(std::min<std::size_t>(files.size(), kMaxFrames));
    std::swap(files.front(), files.back());
    for (int r = 0; r < count; ++r) s.ws.FileNames[std::size_t(r)] = files[std::size_t(r)];
    std::vector<int> order{count - 1};
    for (int i = 0; i + 1 < count; ++i) order.push_back(i);
    LoadFirstReadableFrame(s.ctx, order);
}

// Returns false when the single-image path took over.
bool OpenSeries(Session& s, const std::vector<std::string>& chosen, int type, bool askFitsStretch) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    ws.IsImageSeries = true;
    ws.IsFits = type == 3;
    ws.IsJpeg = type == 4;
    ws.IsTiff = type == 5;
    ws.IsPng = type == 6;
    const bool wide = ws.IsFits || ws.IsTiff || ws.IsPng;
    if (wide) f.Resampled.Checked = false;
    SetResampleControlsVisible(f, !wide);
    if (ws.IsFits)
        ws.StretchFitsLevels = !askFitsStretch || s.host.Message(MsgKind::Confirmation, "Stretch intensity-levels ",
                                                                 Buttons::YesNo) == Answer::Yes;
    SetFrameListButtonsVisible(f, true);
    ws.InputType = ws.IsFits ? kInputFit : ws.IsJpeg ? kInputJpg : ws.IsTiff ? kInputTif : ws.IsPng ? kInputPng : kInputBmp;
    s.Settings.WriteString("Files", "Lasttype", ws.IsJpeg ? "JPG" : ws.IsFits ? "FIT" : "BMP");

    // Files of other types in the selection are left out, so the series has no gaps.
    std::vector<std::string> files;
    for (const std::string& file : chosen)
        if (IsAcceptedImage(file)) files.push_back(fs::absolute(file).string());
    if (files.empty()) return true;
    for (std::size_t r = 0; r < files.size() && r < std::size_t(kMaxFrames); ++r) ws.FileNames[r] = files[r];

    const fs::path first = files[0];
    f.DirectoryListBox1.Directory = first.parent_path().string();
    s.Settings.WriteString("Files", "Dir", f.DirectoryListBox1.Directory);
    s.host.SetCaption(MakeCaption(ws, CaptionKind::Input, 0));
    LoadFirstReadable(s, files);
    FollowInputColour(s);
    ws.ImageWidth = ws.SourceWidth = ws.UnclampedWidth = ws.CurrentFrameImage.Width();
    ws.ImageHeight = ws.SourceHeight = ws.UnclampedHeight = ws.CurrentFrameImage.Height();
    if (ws.ImageWidth > kMaxImageSide || ws.ImageHeight > kMaxImageSide)
        s.host.Message(MsgKind::Error, "AVI or BMP too large (max 4096x4096 !!!", Buttons::Ok);

    // The dialog hands the files over with the first and the last exchanged; undoing that
    // here puts the series in the order the user sees them.
    const std::size_t count = files.size();
    std::swap(files.front(), files.back());
    for (std::size_t r = 0; r < count && r < std::size_t(kMaxFrames); ++r) ws.FileNames[r] = files[r];
    ws.LastFrame = int(std::min<std::size_t>(count, 100000)) - 1;
    f.RestartAlign.Visible = true;

    if (count == 1 && s.seams.StackSingleImage) {
        if (ws.IsFits && !ws.FrameIsWide) f.ColourStack.Checked = false;
        f.RGBSHIFT.Enabled = f.Colourprocess2.Checked;
        if (f.RGBSHIFT.Enabled) f.RGBShiftWindow.Visible = f.RGBSHIFT.Checked;
        f.Resampled.Checked = false;
        f.RestartAlign.Visible = f.Frontpanel.Visible = f.FFTsizeGroup.Visible = false;
        ws.SingleFrameCase = true;
        f.PreviewImage.Enabled = false;
        ws.AlignX = ws.ImageWidth / 2;
        ws.AlignY = ws.ImageHeight / 2;
        AllocateStackBuffers(ws, f, ws.ImageWidth, ws.ImageHeight);
        ws.FileNames[1] = ws.FileNames[0];
        ws.LastFrame = 1;
        ws.Ranking[0] = {0, 1.0f, 0};
        ws.Ranking[1] = {0, 1.0f, 0};
        f.PreviewSlider.Value = 0;
        f.StackSlider.MinValue = 0;
        f.StackSlider.MaxValue = 1;
        f.StackSlider.Value = 0;
        f.SaveBMP2button.Enabled = true;
        f.QualStack.Checked = false;
        s.seams.StackSingleImage();
        return false;
    }
    f.PreviewImage.Enabled = true;
    return true;
}

}  // namespace

bool IsAcceptedImage(const std::string& path) {
    const std::string ext = Lower(fs::path(path).extension().string());
    return ext == ".bmp" || ext == ".jpg" || ext == ".fit" || ext == ".fts" || ext == ".fits" || ext == ".tif" ||
           ext == ".tiff" || ext == ".png" || IsGzipFitsName(path);
}

bool IsVideoFile(const std::string& path) {
    const std::string ext = Lower(fs::path(path).extension().string());
    return ext == ".avi" || ext == ".ser";
}

void ResetForNewInput(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    if (!f.ColourStack.Checked) f.LRGB1.Checked = false;
    f.UseProcessed.Visible = false;
    f.Optimizebutton.Visible = false;
    f.Rbalance.Value = f.Gbalance.Value = f.Bbalance.Value = 1.0;
    f.RedSlider.Value = f.GreenSlider.Value = f.blueslider.Value = 0;
    ws.DroppedFramesSeen = false;
    f.ShowFramelist.Checked = false;
    f.SelectFrameswindow.Visible = false;
    f.Lumichannel.Visible = f.Lumichannel.Checked = false;
    f.RDXSpin.Value = f.RdySpin.Value = f.BDXspin.Value = f.BDYSpin.Value = 0;
    SyncBoxSize(s);
    f.ResampleSpin.Value = 2.0;
    ws.AlignX = ws.AlignY = ws.StackAlignX = ws.StackAlignY = 0;
    // Points belong to the capture they were placed on.
    s.points.Reset();
    ShowAlignmentPoints(s);
    Run(s.seams.ResetHistogramLimits);
    ws.IsFits = ws.IsImageSeries = false;
    f.Frontpanel.Visible = f.FFTsizeGroup.Visible = true;
    f.PreviewImage.Enabled = true;
    ws.CancelRequested = false;
    ws.SingleFrameCase = false;
    ClearGraph(f.imgGraph);
    s.align.HasReference = false;
    for (TabSheet* t : {&f.TabSheet2, &f.TabSheet3, &f.TabSheet4, &f.TabSheet5}) t->TabVisible = false;
    // Those pages are gone from the tab bar, so the work starts again on the Input page with
    // its own tool windows; staying on a hidden page would leave its old content showing
    // under a tab bar with no tab selected.
    if (f.PageControl1.ActivePageIndex != kPageInput && f.PageControl1.ActivePageIndex != kPageErrors) {
        f.PageControl1.ActivePageIndex = kPageInput;
        for (const PageToolWindow& t : PageToolWindows(f)) t.Window.Visible = t.Page == kPageInput && t.ShownBy.Checked;
    }
    ResetWaveletsForNewInput(s);
    ws.ProcessAreaLeft = ws.ProcessAreaTop = 0;
    Run(s.seams.ResetCrop);
    ForgetPreviousResults(s);
    ResetFinalForNewInput(s);
    f.AddBitmapDialog.InitialDir = f.DirectoryListBox1.Directory;
    ws.ResetForNewSelection();
    // A new input starts with every frame selected: a frame left out of the previous
    // sequence (by the user, or as a dropped AVI frame) says nothing about this one, and a
    // single still, which skips the list rebuild, would otherwise stack nothing.
    for (FrameRecord& r : ws.Frames) r.Excluded = 0;
}

void FollowInputColour(Session& s) {
    // A FITS frame is grey unless it was a raw colour mosaic made colour on reading (colour
    // FITS come as one file per channel).
    const bool demosaicedFits = s.ws.IsFits && s.ws.FrameIsWide;
    const bool colour = (!s.ws.IsFits || demosaicedFits) && !IsGreyPicture(s.ws.CurrentFrameImage);
    s.form.ColourStack.Checked = s.form.Colourprocess2.Checked = colour;
    // Both pages' boxes, as the user's clicks would set them (and whatever follows them).
    s.Dispatch("ColourStack", Event::Click);
    s.Dispatch("Colourprocess2", Event::Click);
}

void OpenInput(Session& s, const std::vector<std::string>& files, int type, bool askFitsStretch) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    if (files.empty()) return;
    std::error_code ec;
    if (!fs::exists(files[0], ec)) {
        s.host.Message(MsgKind::Error, "non existing file :" + files[0], Buttons::Ok);
        f.AddBitmapDialog.FileName.clear();
        return;
    }
    ws.ProgStatus = 0;
    f.UseFramesign.Visible = true;
    f.CreateDarkframe.Visible = f.CreateFlatfield.Visible = true;
    if (type == 1) {
        OpenAvi(s, files[0]);
    } else if (!OpenSeries(s, files, type, askFitsStretch)) {
        StartCleanWork(s);  // a single still, stacked and processed as it opened
        return;
    }
    if (ws.ImageWidth > kMaxImageSide || ws.ImageHeight > kMaxImageSide)
        s.host.Message(MsgKind::Error, "AVI or BMP too large !!!!", Buttons::Ok);
    ws.ImageWidth = std::min(ws.ImageWidth, kMaxImageSide);
    ws.ImageHeight = std::min(ws.ImageHeight, kMaxImageSide);
    ws.SourceWidth = std::min(ws.SourceWidth, kMaxImageSide);
    ws.SourceHeight = std::min(ws.SourceHeight, kMaxImageSide);
    AllocateStackBuffers(ws, f, ws.ImageWidth, ws.ImageHeight);
    FinishSelection(s);
    StartCleanWork(s);
}

void AddBitmapDialogSelectionChange(Session& s, const std::string& path) {
    std::error_code ec;
    if (!IsVideoFile(path) || !fs::is_regular_file(path, ec)) return;
    try {
        // Only the picture: the work in hand stays until a choice is made and can be read.
        s.form.PreviewImage.Image = ReadAnyPicture(path).Image.Picture;
        s.host.Repaint(&s.form.PreviewImage);
    } catch (const std::exception&) {
        // Only a preview while the user browses: a file that cannot be read shows nothing.
    }
}

bool ReplaceInput(Session& s, const std::vector<std::string>& files, int type, bool askFitsStretch) {
    if (files.empty()) return false;
    std::error_code ec;
    if (!fs::exists(files[0], ec)) {
        s.host.Message(MsgKind::Error, "non existing file :" + files[0], Buttons::Ok);
        s.form.AddBitmapDialog.FileName.clear();
        return false;
    }
    if (const std::string refusal = InputRefusal(files, type); !refusal.empty()) {
        s.host.Message(MsgKind::Error, refusal + "\nThe input in hand stays open.", Buttons::Ok);
        return false;
    }
    if (!ConfirmDiscardWork(s)) return false;
    ResetForNewInput(s);
    OpenInput(s, files, type, askFitsStretch);
    return true;
}

void SelectFileButtonClick(Session& s) {
    Controls& f = s.form;
    DialogSpec spec;
    spec.Title = "Select input";
    spec.Filter = f.AddBitmapDialog.Filter;
    spec.FilterIndex = f.AddBitmapDialog.FilterIndex;
    spec.InitialDir = OpenStartDir(s);
    spec.MultiSelect = true;
    spec.OnHighlight = [&s](const std::string& path) { AddBitmapDialogSelectionChange(s, path); };
    // The browsing preview borrows the frame picture; cancelled or refused, the frame in hand
    // comes back.
    const Bitmap24 shown = f.PreviewImage.Image;
    const auto choice = s.host.OpenDialog(spec);
    bool opened = false;
    if (choice && !choice->Files.empty()) {
        f.AddBitmapDialog.FilterIndex = choice->FilterIndex;
        opened = ReplaceInput(s, choice->Files, InputTypeForChoice(choice->Files, choice->FilterIndex));
        if (opened) {
            f.AddBitmapDialog.Files = choice->Files;
            f.AddBitmapDialog.FileName = choice->Files[0];
        }
    }
    if (!opened) {
        f.PreviewImage.Image = shown;
        s.host.Repaint(&f.PreviewImage);
    }
}

void OpenVideoFile(Session& s, const std::string& file) {
    const std::string path = fs::absolute(file).string();
    if (ReplaceInput(s, {path}, 1)) s.form.AddBitmapDialog.FileName = path;
}

void FilesDropped(Session& s, const std::vector<std::string>& dropped) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    if (f.PageControl1.ActivePageIndex != kPageInput || dropped.empty()) return;
    // A video opens as from the input dialog; of several dropped, the first.
    for (const std::string& file : dropped)
        if (IsVideoFile(file)) {
            OpenVideoFile(s, file);
            return;
        }
    std::vector<std::string> files;
    for (const std::string& file : dropped)
        if (IsAcceptedImage(file)) files.push_back(fs::absolute(file).string());
    if (files.empty()) return;
    // One picture dropped opens as one chosen in the dialog: as its own stack, on the Wavelet page.
    if (files.size() == 1) {
        if (ReplaceInput(s, files, InputTypeOfFile(files[0]))) f.AddBitmapDialog.FileName = files[0];
        return;
    }
    if (const std::string refusal = InputRefusal(files, InputTypeOfFile(files[0])); !refusal.empty()) {
        s.host.Message(MsgKind::Error, refusal + "\nThe input in hand stays open.", Buttons::Ok);
        return;
    }
    if (!ConfirmDiscardWork(s)) return;
    // A drop starts a new series: frames of an earlier one would no longer match their
    // list items (the list and FileNames must stay in step).
    ResetForNewInput(s);
    f.Showpanel.Visible = false;
    f.PreviewSlider.Visible = true;
    ws.IsImageSeries = true;
    ws.IsJpeg = ws.IsFits = ws.IsTiff = ws.IsPng = false;
    SetSeriesTypeFromName(s.ctx, files[0]);
    f.UseFramesign.Visible = true;
    const std::string ext = Lower(fs::path(files[0]).extension().string());
    int count = 0;
    for (const std::string& file : files) {
        if (Lower(fs::path(file).extension().string()) != ext || count >= kMaxFrames) continue;
        ws.FileNames[std::size_t(count++)] = file;
    }
    {
        // The last frame's folder, written once: each store write reaches the disk.
        std::error_code ec;  // stored absolute, as a folder of the store must be
        s.Settings.WriteString("Files", "Dir",
                               fs::absolute(fs::path(ws.FileNames[std::size_t(count - 1)]), ec).lexically_normal().parent_path().string());
    }
    ws.LastFrame = count - 1;
    s.host.SetCaption(MakeCaption(ws, CaptionKind::Input, 0));
    ws.ProgStatus = 0;
    f.Frontpanel.Visible = true;
    s.Settings.WriteString("Files", "Lasttype", ws.IsJpeg ? "JPG" : ws.IsFits ? "FIT" : "BMP");
    f.DirectoryListBox1.Directory = fs::path(files[0]).parent_path().string();
    {
        std::vector<int> order(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) order[std::size_t(i)] = i;
        LoadFirstReadableFrame(s.ctx, order);
    }
    FollowInputColour(s);
    SetSizesFromFirstFrame(s.ctx, "Bitmap too large  !!!!");
    AllocateStackBuffers(ws, f, ws.ImageWidth, ws.ImageHeight);
    f.FFTsizeGroup.Visible = true;
    FinishSelection(s);
    StartCleanWork(s);
}

// A new choice for raw colour frames shows at once on the frame in view, and colour
// processing follows what the frames now are.
void MosaicChoiceChange(Session& s) {
    if (!s.form.Frontpanel.Visible || s.ws.SingleFrameCase) return;
    ShowFrame(s.ctx, s.form.PreviewSlider.Value);
    FollowInputColour(s);
}

void RegisterInputHandlers(Session& s) {
    AppContext& c = s.ctx;
    Handlers& h = s.handlers;
    h.On("SelectFileButton", Event::Click, [&s] { SelectFileButtonClick(s); });
    h.On("PreviewSlider", Event::Change, [&c] { ShowFrame(c, c.form.PreviewSlider.Value); });
    h.On("BayerCombo", Event::Change, [&s] { MosaicChoiceChange(s); });
    h.On("DebayerCombo", Event::Change, [&s] { MosaicChoiceChange(s); });
    h.On("PreviewSlider", Event::KeyDown, Handlers::Fn([&c](const EventArgs& a) { PreviewSliderKeyDown(c, a.Key); }));
    h.On("SelectFramesChecklist", Event::ClickCheck,
         Handlers::Fn([&c](const EventArgs& a) { SelectFramesChecklistClickCheck(c, a.Item); }));
    h.On("SelectFramesChecklist", Event::DblClick, [&c] { SelectFramesChecklistDblClick(c); });
    h.On("SelectFramesChecklist", Event::Click, Handlers::Fn([&c](const EventArgs& a) {
             if (SelectFramesChecklistClick(c, a.Item)) ShowFrame(c, c.form.PreviewSlider.Value);
         }));
    h.On("BitBtn4", Event::Click, [&c] { BitBtn4Click(c); });
    h.On("BitBtn5", Event::Click, [&c] { BitBtn5Click(c); });
    h.On("ShowFramelist", Event::Click, [&c] { ShowFramelistClick(c); });
    h.On("Framelistsavebutton", Event::Click, [&c] { FramelistsavebuttonClick(c); });
    h.On("Framelistloadbutton", Event::Click, [&s] {
        // Nothing of the open sequence goes before a readable list was chosen.
        const auto path = AskFrameListFile(s.ctx, "Load frame list");
        if (!path) return;
        const std::vector<std::string> lines = ReadFrameListToOpen(*path);
        if (!ConfirmDiscardWork(s)) return;
        ResetForNewInput(s);
        LoadFrameList(s.ctx, *path, lines, false);
        FollowInputColour(s);
        StartCleanWork(s);
    });
    h.On("AddFramesButton", Event::Click, [&c] { AddFramesButtonClick(c); });
    h.On("BitBtn10", Event::Click, [&c] { BitBtn10Click(c); });
    h.On("FramelistSortbutton", Event::Click, [&c] { FramelistSortbuttonClick(c); });
    h.On("LoadProject", Event::Click, [&s] { LoadProjectClick(s); });
    h.On("MainForm", Event::FilesDropped, Handlers::Fn([&s](const EventArgs& a) { FilesDropped(s, a.Files); }));
}

}  // namespace talvenor
