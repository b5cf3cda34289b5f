#include "registration/frame_luminance.h"

#include "registration/luminance.h"

namespace talvenor {

FrameLuminance::FrameLuminance(const Workspace& ws)
    : ws_(ws),
      wide_(ws.FrameIsWide && ws.FrameWide.HasWide && ws.FrameWide.Width() >= ws.CurrentFrameImage.Width() &&
            ws.FrameWide.Height() >= ws.CurrentFrameImage.Height()) {}

float FrameLuminance::Wide(int x, int y) const {
    // 65535 / 257 = 255: the same scale as the bytes, with the fraction the bytes lose.
    const TTIFFBitMap& w = ws_.FrameWide;
    const auto& k = ws_.LumaWeight;
    return (k[0] * float(w.Sample(x, y, 0)) + k[1] * float(w.Sample(x, y, 1)) + k[2] * float(w.Sample(x, y, 2))) /
           257.0f;
}

}  // namespace talvenor
