#include "session/resize_window.h"

#include <string>

#include "final/resize_window.h"
#include "imagefiles/bmp_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "session/final_page.h"
#include "session/project_files.h"
#include "session/result_save.h"
#include "session/tool_windows.h"
#include "session/wavelet_process.h"
#include "workspace/canvas.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

// Only these two pages have a picture to resize; elsewhere the window is sized but not drawn.
bool PageHasPicture(const Controls& f) {
    const int page = f.PageControl1.ActivePageIndex;
    return page == kPageWavelets || page == kPageFinal;
}

// The final picture on the Final page (without the crop outline, which only marks the
// rectangle on screen), the processed picture (without the area marks) everywhere else.
Bitmap24 SourcePicture(Session& s) {
    return s.form.PageControl1.ActivePageIndex == kPageFinal ? FinalPicture(s) : ProcessedPicture(s);
}

PictureSize SizeOf(const Bitmap24& picture) { return {picture.Width(), picture.Height()}; }

// The source's size, without copying it.
PictureSize SourceSize(const Controls& f) {
    return SizeOf(f.PageControl1.ActivePageIndex == kPageFinal ? f.RotateImage.Image : f.ProcessImage.Image);
}

// A new blank picture of this size, shown whole, and its size in the label.
void SizePicture(Controls& f, PictureSize size) {
    f.ShrinkImage.Image.SetSize(size.Width, size.Height);
    f.ShrinkImage.Width = size.Width;
    f.ShrinkImage.Height = size.Height;
    f.Imagesize.Caption = "Imagesize: " + std::to_string(size.Width) + "x" + std::to_string(size.Height);
}

void PlaceWindow(ToolWindow& window, PictureSize size) {
    window.Width = size.Width;
    window.Height = size.Height;
}

void DrawPicture(Session& s) {
    Controls& f = s.form;
    if (PageHasPicture(f)) ResamplePicture(SourcePicture(s), f.ResizeFilters.ItemIndex, f.ShrinkImage.Image);
    s.host.Repaint(&f.ShrinkImage);
}

// The strip beside the picture: "Original" leaves a narrower one, which stays while the window
// keeps the width it gave; a rebuild then keeps the original size instead of shrinking it.
int StripOf(const ToolWindow& window, const Bitmap24& picture) {
    return window.Width == picture.Width() + kResizeOriginalStripAfter ? kResizeOriginalStripAfter : kResizeStripWidth;
}

// The window takes no input while its picture is being remade.
class DisabledWhileWorking {
public:
    explicit DisabledWhileWorking(ToolWindow& window) : window_(window), was_(window.Enabled) { window_.Enabled = false; }
    ~DisabledWhileWorking() { window_.Enabled = was_; }
    DisabledWhileWorking(const DisabledWhileWorking&) = delete;
    DisabledWhileWorking& operator=(const DisabledWhileWorking&) = delete;

private:
    ToolWindow& window_;
    const bool was_;
};

}  // namespace

void OpenResize(Session& s) {
    Controls& f = s.form;
    if (!f.Resampled.Checked || f.Drizzle2.Checked) s.ws.ResampleFactor = 1.0f;
    f.ComboBox1.SelectText("100%");
    ResizeToScale(s);
}

void ResizeToScale(Session& s) {
    Controls& f = s.form;
    const PictureSize size = ScaledSize(SourceSize(f).Width, SourceSize(f).Height, ScaleFactorOf(f.ComboBox1.ItemIndex));
    SizePicture(f, size);
    PlaceWindow(f.Shrinkview, WindowAroundPicture(size, kResizeStripWidth));
    f.Shrinkview.Visible = true;
    DrawPicture(s);
    f.ResizeFilters.Caption = " Filters ";
}

void ResizeToWindow(Session& s) {
    Controls& f = s.form;
    ToolWindow& window = f.Shrinkview;
    const DisabledWhileWorking busy(window);
    // An empty picture has no aspect; the source lends it its own, so the window can recover.
    PictureSize aspect = SizeOf(f.ShrinkImage.Image);
    if (aspect.Width <= 0 || aspect.Height <= 0) aspect = SourceSize(f);
    const PictureSize size = FitPictureToWindow(window.Width, window.Height, StripOf(window, f.ShrinkImage.Image), aspect);
    SizePicture(f, size);
    window.Height = std::max(window.Height, kResizeMinWindowHeight);
    Canvas(f.ShrinkImage.Image).FillRect({0, 0, 5, 5});
    DrawPicture(s);
}

void ResizeToOriginal(Session& s) {
    Controls& f = s.form;
    const Workspace& ws = s.ws;
    const PictureSize expanded =
        f.Expandstack.Checked ? PictureSize{s.stack.ExpandedWidth, s.stack.ExpandedHeight} : PictureSize{};
    const PictureSize size = OriginalFrameSize(ws.SourceWidth, ws.SourceHeight, f.Resampled.Checked, ws.ResampleFactor, expanded);
    SizePicture(f, size);
    PlaceWindow(f.Shrinkview, WindowAroundPicture(size, kResizeOriginalStrip));
    f.Shrinkview.Visible = true;
    DrawPicture(s);
    f.Shrinkview.Width = size.Width + kResizeOriginalStripAfter;
}

void SaveShrinkClick(Session& s) {
    Controls& f = s.form;
    ResultSave save;
    save.Dialog = &f.SaveDialog4;
    save.Title = "Save the resized image";
    save.Formats = {SaveFormat::Bmp, SaveFormat::Jpeg, SaveFormat::Png};
    save.DefaultName = true;
    // A resized partial processing is resized again from the whole processed picture.
    save.Prepare = [&s] {
        if (WholePictureProcessed(s)) return true;
        const bool done = s.form.PageControl1.ActivePageIndex == kPageFinal ? PrepareFinalOutput(s) : ProcessWholePicture(s);
        if (done && PageHasPicture(s.form)) DrawPicture(s);
        return done;
    };
    save.Write = [&s, &f](int type, const fs::path& path) {
        // A JPEG or PNG carries the project that made it (a BMP has no room for it).
        if (type == 2) WriteJpeg(path, f.ShrinkImage.Image, ProjectText(s), s.OutputSet);
        else if (type == 3) WritePng(path, f.ShrinkImage.Image, ProjectText(s), s.OutputSet);
        else WriteBmp24(path, f.ShrinkImage.Image, s.OutputSet);
    };
    RunResultSave(s, save);
}

void RegisterResizeWindowHandlers(Session& s) {
    Controls& f = s.form;
    s.handlers.On(f.BitBtn11.Name, Event::Click, [&s] { OpenResize(s); });
    s.handlers.On(f.Shrink.Name, Event::Click, [&s] { OpenResize(s); });
    s.handlers.On(f.ComboBox1.Name, Event::Change, [&s] { ResizeToScale(s); });
    s.handlers.On(f.Shrinkview.Name, Event::Resized, [&s] { ResizeToWindow(s); });
    s.handlers.On(f.Shrinktooriginal.Name, Event::Click, [&s] { ResizeToOriginal(s); });
    s.handlers.On(f.SaveShrink.Name, Event::Click, [&s] { SaveShrinkClick(s); });
    // Another filter redraws the picture at the size it has, so the choice shows at once.
    s.handlers.On(f.ResizeFilters.Name, Event::Click, [&s] {
        if (s.form.Shrinkview.Visible) DrawPicture(s);
    });
}

}  // namespace talvenor
