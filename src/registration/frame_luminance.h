#pragma once
// Where registration reads a frame's luminance: its full-precision samples when it has them.
#include "workspace/workspace.h"

namespace talvenor {

// The luminance of the current frame at (x, y) on the 0..255 scale of the picture's bytes: from
// FrameWide (keeping the bits below the byte) when the frame has one, else from the picture.
class FrameLuminance {
public:
    explicit FrameLuminance(const Workspace& ws);
    float operator()(int x, int y) const;

private:
    const Workspace& ws_;
    bool wide_;
};

}  // namespace talvenor
