#include "session/compare_picture.h"

#include <algorithm>

#include "final/render_final.h"
#include "session/tool_windows.h"
#include "workspace/canvas.h"

namespace talvenor {

namespace {

// The stacked picture cut or padded (black) to the image size, as the Wavelet page takes it.
Bitmap24 StackAtImageSize(const Session& s) {
    const Bitmap24& stacked = s.form.Stackimage.Image;
    const int width = s.ws.ImageWidth, height = s.ws.ImageHeight;
    if (stacked.Width() == width && stacked.Height() == height) return stacked;
    Bitmap24 out(width, height);
    const int w = std::min(stacked.Width(), width), h = std::min(stacked.Height(), height);
    for (int y = 0; y < h; ++y) std::copy_n(stacked.Row(y), std::size_t(w) * 3, out.Row(y));
    return out;
}

// The 8-bit stack as a 16-bit image: the renderer divides by 256, so every level comes back.
TTIFFBitMap Widened(const Bitmap24& picture) {
    TTIFFBitMap wide;
    wide.CreateWide(picture.Width(), picture.Height());
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const Bgr p = picture.Pixel(x, y);
            wide.SetSample(x, y, 0, uint16_t(p.r << 8));
            wide.SetSample(x, y, 1, uint16_t(p.g << 8));
            wide.SetSample(x, y, 2, uint16_t(p.b << 8));
        }
    return wide;
}

// The Final page's geometry on the stack: its angle and flips, no colour shifts.
Bitmap24 WithFinalGeometry(const Session& s, const Bitmap24& stack) {
    const Controls& f = s.form;
    FinalSettings geometry;
    geometry.angle = f.RxSpinEdit4.Value;
    Bitmap24 turned;
    std::array<int32_t, 361> unusedHues{};
    RenderFinal(Widened(stack), stack.Width(), stack.Height(), geometry, turned, unusedHues);
    Bitmap24 out = FlipPicture(turned, f.FlipX.Checked, f.FlipY.Checked);
    const FinalState& crop = s.finalImage;
    if (crop.CropDrawn && crop.CropLeft >= 0) {
        // The same outline the final picture carries, so the user sees the kept part on both.
        Canvas canvas(out);
        canvas.Pen.Mode = PenMode::Xor;
        canvas.Pen.Colour = 0xFFFFFF;
        canvas.Brush.Style = BrushStyle::Clear;
        canvas.Rectangle(crop.CropLeft, crop.CropTop, crop.CropRight, crop.CropBottom);
    }
    return out;
}

}  // namespace

Bitmap24 BeforePicture(Session& s) {
    if (!s.ws.StackReady || s.form.Stackimage.Image.Empty() || s.ws.ImageWidth <= 0 || s.ws.ImageHeight <= 0) return {};
    switch (s.form.PageControl1.ActivePageIndex) {
        case kPageWavelets: return StackAtImageSize(s);
        case kPageFinal: return WithFinalGeometry(s, StackAtImageSize(s));
        default: return {};
    }
}

}  // namespace talvenor
