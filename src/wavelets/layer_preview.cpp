#include "wavelets/layer_preview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "workspace/canvas.h"

namespace talvenor {

namespace {

// The noise rule as the preview shows it: below the threshold nothing, above it shrunk by the
// threshold when thresholding is soft. A threshold of 0 shows the layer as it is.
float Thresholded(float w, const LayerPreviewSettings& s) {
    if (!s.cut || s.threshold == 0) return w;
    if (std::fabs(w) < s.threshold) return 0;
    if (s.subtract) return w < 0 ? w + s.threshold : (w > 0 ? w - s.threshold : w);
    return w;
}

LayerArea AreaOf(const Workspace& ws) {
    return ClipArea(ws.ProcessAreaLeft, ws.ProcessAreaTop, ws.ProcessAreaWidth, ws.ProcessAreaHeight, ws.ImageWidth,
                    ws.ImageHeight);
}

}  // namespace

std::string TwoDecimals(double x) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", std::trunc(x * 100) * 0.01);
    return buf;
}

LayerRange PreviewRange(const Workspace& ws, int n, const LayerPreviewSettings& s) {
    const LayerArea a = AreaOf(ws);
    const Single2dArray& layer = ws.LayerPlanes[std::size_t(n)][1];
    LayerRange r;
    for (int y = a.top + 10; y <= a.bottom - 10; ++y)
        for (int x = a.left + 10; x <= a.right - 10; ++x) {
            const float w = Thresholded(layer.Get(x - a.left, y - a.top), s);
            r.min = std::min(r.min, w);
            r.max = std::max(r.max, w);
        }
    return r;
}

void DrawLayerPreview(const Workspace& ws, int n, const LayerPreviewSettings& s, Bitmap24& picture) {
    const LayerArea a = AreaOf(ws);
    if (a.right < a.left || a.bottom < a.top) return;
    if (picture.Width() != ws.ImageWidth || picture.Height() != ws.ImageHeight) return;
    const LayerRange range = PreviewRange(ws, n, s);
    double span = double(range.max) - range.min;
    if (!(span > 0)) span = 1;
    const Single2dArray& layer = ws.LayerPlanes[std::size_t(n)][1];
    for (int y = a.top; y <= a.bottom; ++y) {
        uint8_t* row = picture.Row(y);
        for (int x = a.left; x <= a.right; ++x) {
            const float w = Thresholded(layer.Get(x - a.left, y - a.top), s);
            const double q = std::clamp(std::nearbyint((w - range.min) / span * 255), 0.0, 255.0);
            uint8_t* p = row + 3 * x;
            p[0] = 0;
            p[1] = w > 0 ? uint8_t(q) : 0;
            p[2] = w < 0 ? uint8_t(255 - q) : 0;
        }
    }
    Canvas canvas(picture);
    canvas.Font.Colour = 0xFFFF00;
    canvas.Font.Background = TextBackground::Transparent;
    canvas.TextOut(a.left + 5, a.top, "Red=decreasing , Green=increasing (*when layer is enhanced*)");
    canvas.TextOut(a.left + 5, a.top + 15, "HI :" + TwoDecimals(range.max));
    canvas.TextOut(a.left + 5, a.top + 35, "LO :" + TwoDecimals(range.min));
    canvas.TextOut(a.left + 5, a.top + 55, "DEV :" + TwoDecimals(s.variance));
    picture.Touch();
}

}  // namespace talvenor
