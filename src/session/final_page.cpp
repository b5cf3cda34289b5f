#include "session/final_page.h"

#include <cmath>
#include <filesystem>
#include <optional>

#include "final/colour_model.h"
#include "final/render_final.h"
#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "session/hsl_window.h"
#include "session/project_files.h"
#include "session/result_save.h"
#include "session/wavelet_process.h"
#include "workspace/canvas.h"
#include "workspace/hsl_labels.h"
#include "workspace/saved_note.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

// The visible part of the final view, in picture pixels.
constexpr int kViewWidth = 777, kViewHeight = 689;

FinalSettings SettingsFromControls(Session& s) {
    const Controls& f = s.form;
    FinalSettings fs;
    fs.angle = f.RxSpinEdit4.Value;
    fs.hue = f.HueSlider.Value;
    fs.saturation = f.SaturationSlider.Value;
    fs.lightness = f.Lightnessslider.Value;
    fs.flipX = f.FlipX.Checked;
    fs.flipY = f.FlipY.Checked;
    fs.curves = &s.finalImage;
    return fs;
}

bool HasCrop(const FinalState& st) { return st.CropLeft >= 0; }

// The crop outline, white in XOR: drawing it again takes it off.
void XorCropOutline(const FinalState& st, Bitmap24& picture) {
    Canvas canvas(picture);
    canvas.Pen.Mode = PenMode::Xor;
    canvas.Pen.Colour = 0xFFFFFF;
    canvas.Brush.Style = BrushStyle::Clear;
    canvas.Rectangle(st.CropLeft, st.CropTop, st.CropRight, st.CropBottom);
}

void DrawCropOutline(Session& s) {
    FinalState& st = s.finalImage;
    Bitmap24& picture = s.form.RotateImage.Image;
    if (!HasCrop(st) || picture.Empty()) return;
    XorCropOutline(st, picture);
    st.CropDrawn = !st.CropDrawn;
    picture.Touch();
}

void HideCropOutline(Session& s) {
    if (s.finalImage.CropDrawn) DrawCropOutline(s);
}

void ShowCropOutline(Session& s) {
    if (!s.finalImage.CropDrawn) DrawCropOutline(s);
}

// Press, move and release on the final picture draw the crop rectangle.
void CropPress(Session& s, const EventArgs& e) {
    FinalState& st = s.finalImage;
    HideCropOutline(s);
    st.CropLeft = st.CropRight = std::max(0, e.X);
    st.CropTop = st.CropBottom = std::max(0, e.Y);
}

void CropMove(Session& s, const EventArgs& e) {
    FinalState& st = s.finalImage;
    Controls& f = s.form;
    f.Croppedarea.Caption = std::to_string(e.X) + "," + std::to_string(e.Y);
    if (e.Button != MouseButton::Left || !HasCrop(st)) return;
    f.Croppedarea.Caption = "x:" + std::to_string(st.CropLeft) + ",y:" + std::to_string(st.CropTop) +
                            " w:" + std::to_string(std::abs(e.X - st.CropLeft)) +
                            " h:" + std::to_string(std::abs(e.Y - st.CropTop));
    HideCropOutline(s);
    // The rectangle's right and bottom are exclusive: a drag past the last column or row keeps it.
    const Bitmap24& picture = f.RotateImage.Image;
    st.CropRight = std::clamp(e.X, 0, picture.Width());
    st.CropBottom = std::clamp(e.Y, 0, picture.Height());
    ShowCropOutline(s);
    s.host.Repaint(&f.RotateImage);
}

void CropRelease(Session& s) {
    FinalState& st = s.finalImage;
    if (!HasCrop(st)) return;
    HideCropOutline(s);
    if (st.CropLeft > st.CropRight) std::swap(st.CropLeft, st.CropRight);
    if (st.CropTop > st.CropBottom) std::swap(st.CropTop, st.CropBottom);
    ShowCropOutline(s);
    s.form.Cropping.Visible = s.form.Cropping.Checked = true;
    s.host.Repaint(&s.form.RotateImage);
}

void ResetCrop(Session& s) {
    FinalState& st = s.finalImage;
    st.CropLeft = -1;
    st.CropRight = st.CropTop = st.CropBottom = 0;
    st.CropDrawn = false;
    s.form.Cropping.Checked = false;
    s.form.Cropping.Visible = false;
}

// The hue of the 16-bit pixel under the pointer, when the colour curves can use it: the HSL
// window shown, the picture not turned, the pointer on the image. Nothing otherwise.
std::optional<Hsv> HueUnderPointer(Session& s, const EventArgs& e) {
    const Controls& f = s.form;
    const Workspace& ws = s.ws;
    if (!f.HLSWindow.Visible || f.RxSpinEdit4.Value != 0 || !ws.StackTiff.HasWide) return std::nullopt;
    int x = e.X, y = e.Y;
    if (f.FlipX.Checked) x = ws.ImageWidth - 1 - x;  // the picture shows the image flipped
    if (f.FlipY.Checked) y = ws.ImageHeight - 1 - y;
    if (x < 0 || y < 0 || x >= ws.ImageWidth || y >= ws.ImageHeight) return std::nullopt;
    return RGBtoHSV(ws.StackTiff.Sample(x, y, 0), ws.StackTiff.Sample(x, y, 1), ws.StackTiff.Sample(x, y, 2));
}

// The hue marker: a red line over the hue histogram at the pointer's hue (none on dark pixels).
void ShowHueMarker(Session& s, const EventArgs& e) {
    const auto hsv = HueUnderPointer(s, e);
    if (!hsv) return;
    Bitmap24& graph = s.form.HueHistoImage.Image;
    DrawHueHistogram(graph, s.finalImage.HueHistogram);
    if (hsv->v >= 100) {
        const int x = std::clamp(int(std::nearbyint(hsv->h)), 0, 360);
        for (int y = 0; y < graph.Height(); ++y) graph.SetPixel(x, y, MakePixel(255, 0, 0));
    }
    graph.Touch();
    s.host.Repaint(&s.form.HueHistoImage);
}

void ResetHsl(Session& s) {
    Controls& f = s.form;
    f.HueSlider.Value = f.SaturationSlider.Value = f.Lightnessslider.Value = 0;
    ShowHslLabels(f);
    ResetHslCurves(s);
    UpdateFinalBitmap(s);
    UpdateOverview(s);
}

void SetAngle(Session& s, double degrees) {
    s.form.RxSpinEdit4.Value = degrees;
    UpdateFinalBitmap(s);
}

// Entering the page: the whole image processed first (a cancelled run shows what was
// processed), then the render.
void FinalPageEntered(Session& s) {
    Controls& f = s.form;
    if (!s.ws.StackReady) return;
    ProcessWholePicture(s);
    f.RotateImage.Image = ProcessedPicture(s);
    s.finalImage.CropDrawn = false;
    UpdateFinalBitmap(s);
    f.EventScrollBox1.HorzPosition = f.Scrollbox3.HorzPosition;
    f.EventScrollBox1.VertPosition = f.Scrollbox3.VertPosition;
}

// The part of a width x height final picture that leaves the program: the crop rectangle with
// "Use crop", otherwise all of it.
struct OutputBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Whole(int width, int height) const { return left == 0 && top == 0 && right == width && bottom == height; }
};

OutputBox OutputBoxOf(const Session& s, int width, int height) {
    const FinalState& st = s.finalImage;
    const OutputBox whole{0, 0, width, height};
    if (!s.form.Cropping.Checked || !HasCrop(st)) return whole;
    const OutputBox box{std::clamp(st.CropLeft, 0, width), std::clamp(st.CropTop, 0, height),
                        std::clamp(st.CropRight, 0, width), std::clamp(st.CropBottom, 0, height)};
    // A click without a drag draws no rectangle worth keeping: the whole picture then.
    if (box.right - box.left < 1 || box.bottom - box.top < 1) return whole;
    return box;
}

// The final picture at 16 bits per channel as it is saved: rendered as the page shows it,
// flips included, then cropped as the 8-bit picture is.
TTIFFBitMap FinalWideForOutput(Session& s) {
    const Workspace& ws = s.ws;
    TTIFFBitMap wide;
    RenderFinal16(ws.StackTiff, ws.ImageWidth, ws.ImageHeight, SettingsFromControls(s), wide);
    const OutputBox box = OutputBoxOf(s, ws.ImageWidth, ws.ImageHeight);
    if (box.Whole(ws.ImageWidth, ws.ImageHeight)) return wide;
    TTIFFBitMap out;
    out.CreateWide(box.right - box.left, box.bottom - box.top);
    for (int y = box.top; y < box.bottom; ++y)
        std::copy_n(wide.WideRows[std::size_t(y)] + 6 * box.left, std::size_t(box.right - box.left) * 6,
                    out.WideRows[std::size_t(y - box.top)]);
    return out;
}

// The FITS writer writes the workspace's 16-bit result; the final picture stands in for it
// while the channel files are written, and the processed result is back afterwards, whatever
// the writer throws.
class StandInResult {
public:
    StandInResult(TTIFFBitMap& result, TTIFFBitMap& standIn) : result_(result), standIn_(standIn) {
        std::swap(result_, standIn_);
    }
    ~StandInResult() { std::swap(result_, standIn_); }
    StandInResult(const StandInResult&) = delete;
    StandInResult& operator=(const StandInResult&) = delete;

private:
    TTIFFBitMap& result_;
    TTIFFBitMap& standIn_;
};

void WriteFinalFits(Session& s, TTIFFBitMap wide, const fs::path& path) {
    const int width = wide.Width(), height = wide.Height();
    const StandInResult standIn(s.ws.StackTiff, wide);
    WriteFits(s.ws, s.form, s.host, path, width, height, 1, 16, {.Recipe = ProjectText(s)}, s.OutputSet);
}

void BitBtn8Click(Session& s) {
    Controls& f = s.form;
    ResultSave save = PageSave(s, "Save the final image");
    save.CaptionAfter = false;
    save.Chosen = [&f](int) {
        if (f.SaveDialog1.FilterIndex >= 3 && f.SaveDialog1.FilterIndex <= 5) f.SaveDialog1.FilterIndex = 1;
    };
    save.Prepare = [&s] { return PrepareFinalOutput(s); };
    // Every type writes the final picture as the page shows it, cropped with "Use crop".
    save.Write = [&s](int type, const fs::path& path) {
        switch (type) {
            // JPEG, FITS, TIFF and PNG results carry the project that made them.
            case 2: WriteJpeg(path, FinalPictureForOutput(s), ProjectText(s), s.OutputSet); break;
            case 3: WriteFinalFits(s, FinalWideForOutput(s), path); break;
            case 4: {
                const TTIFFBitMap wide = FinalWideForOutput(s);
                SaveWideImage(wide, wide.Width(), wide.Height(), path, ProjectText(s), s.OutputSet);
                break;
            }
            case 5: {
                const TTIFFBitMap wide = FinalWideForOutput(s);
                WritePng16(path, wide, wide.Width(), wide.Height(), ProjectText(s), s.OutputSet);
                break;
            }
            default: WriteBmp24(path, FinalPictureForOutput(s), s.OutputSet); break;
        }
    };
    RunResultSave(s, save);
}

void BitBtn9Click(Session& s) {
    if (!PrepareFinalOutput(s)) {
        s.host.Message(MsgKind::Information, "Processing cancelled: nothing was copied.", Buttons::Ok);
        return;
    }
    s.host.CopyToClipboard(FinalPictureForOutput(s));
    NoteCopied(s.ws);
}

}  // namespace

void UpdateFinalBitmap(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    FinalState& st = s.finalImage;
    if (!ws.StackReady || !ws.StackTiff.HasWide) return;
    s.host.SetCursor(CursorKind::Busy);
    RenderFinal(ws.StackTiff, ws.ImageWidth, ws.ImageHeight, SettingsFromControls(s), f.Image3.Image, st.HueHistogram);
    f.RotateImage.Image = FlipPicture(f.Image3.Image, f.FlipX.Checked, f.FlipY.Checked);
    st.CropDrawn = false;
    if (HasCrop(st)) ShowCropOutline(s);
    DrawHueHistogram(f.HueHistoImage.Image, st.HueHistogram);
    s.host.Repaint(&f.RotateImage);
    s.host.Repaint(&f.HueHistoImage);
    UpdateOverview(s);
    s.host.SetCursor(CursorKind::Default);
}

void UpdateOverview(Session& s) {
    Controls& f = s.form;
    const Bitmap24& picture = f.RotateImage.Image;
    Bitmap24& overview = f.Overview.Image;
    if (overview.Width() != f.Overview.Width || overview.Height() != f.Overview.Height)
        overview.SetSize(f.Overview.Width, f.Overview.Height);
    if (picture.Empty()) return;
    overview.Fill(Bgr{240, 240, 240});
    Canvas canvas(overview);
    canvas.StretchDraw({0, 0, overview.Width(), overview.Height()}, picture);
    const double scale = double(overview.Width()) / picture.Width();
    // The part the view shows: what the window reported, else the view's designed size.
    const ScrollBox& view = f.EventScrollBox1;
    const int h = view.HorzPosition, v = view.VertPosition;
    const int shownWidth = view.ViewWidth > 0 ? view.ViewWidth : kViewWidth;
    const int shownHeight = view.ViewHeight > 0 ? view.ViewHeight : kViewHeight;
    canvas.Pen.Colour = 0xFFFFFF;
    canvas.Brush.Style = BrushStyle::Clear;
    canvas.Rectangle(int(std::lrint(h * scale)), int(std::lrint(v * scale)), int(std::lrint((h + shownWidth) * scale)),
                     int(std::lrint((v + shownHeight) * scale)));
    overview.Touch();
    s.host.Repaint(&f.Overview);
}

Bitmap24 FinalPicture(Session& s) {
    Bitmap24 picture = s.form.RotateImage.Image;
    if (s.finalImage.CropDrawn && HasCrop(s.finalImage) && !picture.Empty()) XorCropOutline(s.finalImage, picture);
    return picture;
}

Bitmap24 FinalPictureForOutput(Session& s) {
    Bitmap24 clean = FinalPicture(s);
    const OutputBox box = OutputBoxOf(s, clean.Width(), clean.Height());
    if (box.Whole(clean.Width(), clean.Height())) return clean;
    Bitmap24 out(box.right - box.left, box.bottom - box.top);
    for (int y = box.top; y < box.bottom; ++y)
        std::copy_n(clean.Row(y) + 3 * box.left, std::size_t(box.right - box.left) * 3, out.Row(y - box.top));
    return out;
}

bool PrepareFinalOutput(Session& s) {
    if (WholePictureProcessed(s)) return true;
    if (!ProcessWholePicture(s)) return false;
    UpdateFinalBitmap(s);
    return true;
}

void RegisterFinalPageHandlers(Session& s) {
    Handlers& h = s.handlers;
    Controls& f = s.form;
    h.On("RxSpinEdit4", Event::Change, [&s] { UpdateFinalBitmap(s); });
    h.On("ComboBox2", Event::Change, [&s, &f] { SetAngle(s, f.ComboBox2.ItemIndex * 15.0); });
    h.On("ASSwitcher1", Event::Tracking, [] {});
    h.On("ASSwitcher1", Event::Change, [&s, &f] { SetAngle(s, f.ASSwitcher1.Value * 10.0); });
    h.On("FlipX", Event::Click, [&s] { UpdateFinalBitmap(s); });
    h.On("FlipY", Event::Click, [&s] { UpdateFinalBitmap(s); });
    for (Slider* slider : {&f.HueSlider, &f.SaturationSlider, &f.Lightnessslider}) {
        h.On(slider->Name, Event::Tracking, [&f] { ShowHslLabels(f); });
        h.On(slider->Name, Event::Change, [&s, &f] {
            ShowHslLabels(f);
            UpdateFinalBitmap(s);
        });
    }
    h.On("RotateImage", Event::MouseDown, Handlers::Fn([&s](const EventArgs& e) {
             if (e.Button == MouseButton::Left) CropPress(s, e);
             // A right click picks the pixel's hue into the hue curve.
             if (e.Button == MouseButton::Right)
                 if (const auto hsv = HueUnderPointer(s, e)) InsertHuePoint(s, int(std::nearbyint(hsv->h)));
         }));
    h.On("RotateImage", Event::MouseMove, Handlers::Fn([&s](const EventArgs& e) {
             CropMove(s, e);
             ShowHueMarker(s, e);
         }));
    h.On("RotateImage", Event::MouseUp, [&s] { CropRelease(s); });
    h.On("RotateImage", Event::Scrolled, [&s] { UpdateOverview(s); });
    h.On("Button7", Event::Click, [&s] { ResetHsl(s); });
    h.On("BitBtn8", Event::Click, [&s] { BitBtn8Click(s); });
    h.On("BitBtn9", Event::Click, [&s] { BitBtn9Click(s); });
    s.seams.FinalPageEntered = [&s] { FinalPageEntered(s); };
    s.seams.ResetCrop = [&s] { ResetCrop(s); };
}

}  // namespace talvenor
