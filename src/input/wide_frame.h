#pragma once
// Frames with more than 8 bits per sample: their full-precision samples go to the workspace's
// FrameWide (scaled to 16 bits, the TIFF scale the stacker reads), their top eight bits to the
// 24-bit picture every page shows.
#include <cstdint>

#include "workspace/workspace.h"

namespace talvenor {

// `samples` hold `channels` (1 grey, 3 R, G, B) values per pixel with `depth` significant bits
// (9..16). Fills ws.FrameWide and sets ws.FrameIsWide.
void SetWideFrame(Workspace& ws, const uint16_t* samples, int channels, int width, int height, int depth);

// The 24-bit picture of the same samples: each value shifted down to its top eight bits.
void PictureFromSamples(const uint16_t* samples, int channels, int width, int height, int depth, Bitmap24& picture);

}  // namespace talvenor
