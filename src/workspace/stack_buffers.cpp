#include "workspace/stack_buffers.h"

#include <cmath>
#include <new>
#include <string>

#include "workspace/error.h"

#include "workspace/memory_report.h"

namespace talvenor {

namespace {
// The views show 817 x 625 pixels; a larger image is scrolled so the feature is in sight.
constexpr int kViewHalfWidth = 408, kViewHalfHeight = 312;
constexpr int kViewWidth = 817, kViewHeight = 625;
}  // namespace

void AllocateStackBuffers(Workspace& ws, Controls& form, int width, int height) {
    ws.ProcessAreaLeft = ws.ProcessAreaTop = 0;
    ws.ProcessAreaWidth = ws.ProcessAreaHeight = ws.ProcessAreaMax;
    form.Scrollbox3.HorzPosition = form.Scrollbox3.VertPosition = 0;

    if (width < ws.ProcessAreaMax) ws.ProcessAreaWidth = width;
    else ws.ProcessAreaLeft = (width - ws.ProcessAreaWidth) / 2;
    if (height < ws.ProcessAreaMax) ws.ProcessAreaHeight = height;
    else ws.ProcessAreaTop = (height - ws.ProcessAreaHeight) / 2;

    for (ScrollBox* view : {&form.Scrollbox3, &form.EventScrollBox1}) {
        view->HorzRange = ws.ImageWidth;
        view->VertRange = ws.ImageHeight;
    }
    double scale = 1.0;
    if (form.Drizzling.Checked) scale = 2.0;
    else if (form.Resampled.Checked) scale = form.ResampleSpin.Value;
    if (ws.ImageWidth > kViewWidth) {
        int x = int(std::lrint(ws.AlignX * scale)) - kViewHalfWidth;
        form.Scrollbox3.HorzPosition = form.ScrollBox2.HorzPosition = x;
    }
    if (ws.ImageHeight > kViewHeight) {
        int y = int(std::lrint(ws.AlignY * scale)) - kViewHalfHeight;
        form.Scrollbox3.VertPosition = form.ScrollBox2.VertPosition = y;
    }

    ws.FreeStackBuffers();
    const int w = width + Single2dArray::kMargin, h = height + Single2dArray::kMargin;
    for (int c = 0; c < 3; ++c) {
        ws.StackSum[std::size_t(c)].Create(w, h);
        ws.ResultPlanes[std::size_t(c)].Create(w, h);
    }
    ws.StackSum[3].Create(w, h);
    ws.StackTiff.FreeWide();
    ws.StackTiff.CreateWide(width + 1, height + 1);
    ws.ScratchPlane.Create(w, h);
    ws.ExtraPlane.Create(w, h);

    MemoryReport(form);
}

int ProcessAreaSideForItem(int itemIndex) {
    switch (itemIndex) {
        case 0: return 4096;
        case 1: return 2048;
        case 2: return 1024;
        case 3: return 512;
        case 4: return 256;
        case 5: return 128;
        default: return 512;
    }
}

void SetProcessAreaMax(Workspace& ws, int itemIndex) {
    const int side = ProcessAreaSideForItem(itemIndex);
    // The new planes are made before the old ones go, so a side the memory cannot hold ("full"
    // takes about 1.4 GB) leaves the previous area working.
    std::array<std::array<Single2dArray, 3>, 7> planes;
    try {
        for (auto& group : planes)
            for (auto& plane : group) plane.Create(side, side);
    } catch (const std::bad_alloc&) {
        throw Error("Not enough memory for a processing area of " + std::to_string(side) + " x " + std::to_string(side) +
                    " pixels; the area stays " + std::to_string(ws.ProcessAreaMax) + " x " +
                    std::to_string(ws.ProcessAreaMax) + ".");
    }
    ws.LayerPlanes = std::move(planes);
    ws.ProcessAreaMax = side;
    ws.ProcessAreaWidth = ws.ProcessAreaHeight = ws.ProcessAreaMax;
}

}  // namespace talvenor
