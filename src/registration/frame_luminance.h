#pragma once
// Where registration reads a frame's luminance: its full-precision samples when it has them.
#include "registration/luminance.h"
#include "workspace/workspace.h"

namespace talvenor {

// The luminance of the current frame at (x, y) on the 0..255 scale of the picture's bytes: from
// FrameWide (keeping the bits below the byte) when the frame has one, else from the picture.
class FrameLuminance {
public:
    explicit FrameLuminance(const Workspace& ws);
    // Inline: the alignment calls it for every pixel of every box.
    float operator()(int x, int y) const {
        if (!wide_) return Luminance(ws_.CurrentFrameImage.Row(y) + 3 * x, ws_.LumaWeight);
        return Wide(x, y);
    }
    // Whether the frame has full-precision samples (else the luminance is the picture's bytes').
    bool Wide() const { return wide_; }

private:
    float Wide(int x, int y) const;
    const Workspace& ws_;
    bool wide_;
};

}  // namespace talvenor
