#include "workspace/caption.h"

namespace talvenor {

namespace {
constexpr const char* kBase = "Talvenor processing ";

// BMP unless a later flag is set; the last set flag wins.
std::string SeriesType(const Workspace& ws, bool includeTiff) {
    std::string type = "BMP";
    if (ws.IsJpeg) type = "JPG";
    if (ws.IsFits) type = "FIT";
    if (includeTiff && ws.IsTiff) type = "TIF";
    if (ws.IsPng) type = "PNG";
    return type;
}

const std::string& FileAt(const Workspace& ws, int index) {
    static const std::string none;
    if (index < 0 || index >= int(ws.FileNames.size())) return none;
    return ws.FileNames[std::size_t(index)];
}
}  // namespace

std::string MakeCaption(const Workspace& ws, CaptionKind kind, int index) {
    if (!ws.IsImageSeries) {
        std::string c = std::string(kBase) + "AVI: " + ws.AviFileName;
        if (kind == CaptionKind::DroppedFrames) c += "(Dropped frames !)";
        return c;
    }
    switch (kind) {
        case CaptionKind::Input:
        case CaptionKind::DroppedFrames:
            // Showing a frame names TIFF series as BMP, as the frame viewer always has.
            return std::string(kBase) + SeriesType(ws, false) + ": " + FileAt(ws, index);
        case CaptionKind::Processing:
            return std::string(kBase) + SeriesType(ws, true) + ": " + FileAt(ws, index);
        case CaptionKind::StackSlider: {
            std::string type = SeriesType(ws, true);
            return std::string(kBase) + (type == "BMP" ? " BMP" : type) + ": " + FileAt(ws, index);
        }
        case CaptionKind::Saved:
            return std::string(kBase) + SeriesType(ws, true) + "s: " + FileAt(ws, 0);
    }
    return kBase;
}

}  // namespace talvenor
