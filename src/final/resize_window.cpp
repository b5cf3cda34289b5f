#include "final/resize_window.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "stacking/resample.h"
#include "workspace/workspace.h"

namespace talvenor {

namespace {

int Round(double v) { return int(std::nearbyint(v)); }

}  // namespace

double ScaleFactorOf(int itemIndex) {
    static constexpr std::array<double, 6> kFactors{2.0, 1.5, 1.0, 0.75, 0.5, 0.25};
    if (itemIndex < 0 || itemIndex >= int(kFactors.size())) return 1.0;
    return kFactors[std::size_t(itemIndex)];
}

PictureSize ScaledSize(int width, int height, double factor) {
    return {std::max(0, Round(width * factor)), std::max(0, Round(height * factor))};
}

PictureSize WindowAroundPicture(PictureSize picture, int strip) {
    return {picture.Width + strip, std::max(picture.Height + kResizeFrameHeight, kResizeMinWindowHeight)};
}

PictureSize FitPictureToWindow(int windowWidth, int windowHeight, int strip, PictureSize aspect) {
    const int availableWidth = std::clamp(windowWidth - strip, 0, kResizeMaxSide);
    const int availableHeight = std::clamp(windowHeight - kResizeFrameHeight, 0, kResizeMaxSide);
    if (availableWidth == 0 || availableHeight == 0 || aspect.Width <= 0 || aspect.Height <= 0) return {};
    const double a = double(aspect.Width) / double(aspect.Height);
    int width = availableWidth, height = availableHeight;
    // A very long, thin picture would round its short side away; it keeps a pixel instead.
    if (availableWidth < availableHeight * a) height = std::max(1, Round(availableWidth / a));
    if (height < availableWidth / a) width = Round(height * a);
    return {std::clamp(width, 1, availableWidth), std::clamp(height, 1, availableHeight)};
}

PictureSize OriginalFrameSize(int sourceWidth, int sourceHeight, bool resampled, double factor, PictureSize expanded) {
    if (expanded.Width > 0 && expanded.Height > 0) return expanded;
    PictureSize size{std::max(0, sourceWidth), std::max(0, sourceHeight)};
    if (resampled && factor > 0) {
        // The resampled stack was cut at the largest image side; only that much of the frame
        // is in it.
        if (size.Width * factor > kMaxImageSide) size.Width = Round(kMaxImageSide / factor);
        if (size.Height * factor > kMaxImageSide) size.Height = Round(kMaxImageSide / factor);
    }
    return size;
}

void ResamplePicture(const Bitmap24& source, int filterItem, Bitmap24& destination) {
    if (source.Empty() || destination.Empty()) return;
    const ResampleFilter& filter = FilterForListIndex(filterItem);
    Stretch(source, destination, filter.function, filter.support);
}

}  // namespace talvenor
