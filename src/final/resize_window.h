#pragma once
// The sizes of the "Resized image" window and its picture, and the resampling into it.
// The window holds the picture beside a strip of controls; these rules decide how large the
// picture is for a chosen scale, for the window's own size and for the original frame size,
// and how large the window becomes around it.
#include "workspace/bitmap24.h"

namespace talvenor {

struct PictureSize {
    int Width = 0, Height = 0;
    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// The control strip left of the picture, the frame height above it and the least window
// height. After "Original" the strip is narrower (128 while the picture is drawn, 129 after).
inline constexpr int kResizeStripWidth = 200;
inline constexpr int kResizeOriginalStrip = 128;
inline constexpr int kResizeOriginalStripAfter = 129;
inline constexpr int kResizeFrameHeight = 24;
inline constexpr int kResizeMinWindowHeight = 390;
// A window dragged (or set) larger than any screen never asks for a picture beyond this side;
// it is the largest picture the scale list can make (200 % of a 4096-pixel stack).
inline constexpr int kResizeMaxSide = 8192;

// The factor of a scale list entry: "200%", "150%", "100%", "75%", "50%", "25%"; no choice
// (or an unknown entry) is 1.
double ScaleFactorOf(int itemIndex);

// The source size times the factor, each side rounded (ties to even: 3 x 1.5 gives 4).
PictureSize ScaledSize(int width, int height, double factor);

// The window around a picture: the strip beside it, the frame height above it, and never
// lower than the least height.
PictureSize WindowAroundPicture(PictureSize picture, int strip);

// The largest picture of the aspect width : height of `aspect` that the window leaves room
// for (window minus strip and frame). Width-limited windows set the height from the width,
// height-limited ones the width from the height. Empty when the window leaves no room or
// the aspect is of an empty picture; otherwise at least one pixel each way.
PictureSize FitPictureToWindow(int windowWidth, int windowHeight, int strip, PictureSize aspect);

// The size of the frames before resampling. With a resampled stack, a side whose resampled
// length passed 4096 was cut there, so it stands for Round(4096 / factor) frame pixels. An
// expanded stack (given as a non-empty size) is shown at its own size instead.
PictureSize OriginalFrameSize(int sourceWidth, int sourceHeight, bool resampled, double factor, PictureSize expanded);

// Resamples the whole source into the whole destination at the destination's size, with the
// filter of the window's filter list entry. An empty source leaves the destination as it is.
void ResamplePicture(const Bitmap24& source, int filterItem, Bitmap24& destination);

}  // namespace talvenor
