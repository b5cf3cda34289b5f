#pragma once
// Whether a capture is in colour, judged from its pixels rather than its container: a
// 24-bit AVI or a JPEG of a grey scene holds three equal channels, and only the data tells.
#include "workspace/bitmap24.h"

namespace talvenor {

// Lossy codecs (Motion-JPEG, H.264) and their YUV conversion leave grey pixels a level or
// two apart between channels; a colour camera's pictures differ by far more.
constexpr int kGreyChannelTolerance = 2;

// True when no pixel's channels differ by more than the tolerance (an empty picture is grey).
bool IsGreyPicture(const Bitmap24& picture, int tolerance = kGreyChannelTolerance);

}  // namespace talvenor
