#pragma once
// The "Resized image" window: the processed picture (Wavelet Processing page) or the final
// picture (Final page) resampled to a chosen scale, to the window's own size or to the size
// of the original frames, to be judged and saved as BMP or JPEG.
#include "session/session.h"

namespace talvenor {

// "Resize" on the Wavelet Processing and Final pages: the window opens at 100 %.
void OpenResize(Session& s);

// The scale list: the picture at the chosen scale, the window sized around it.
void ResizeToScale(Session& s);

// The window resized by the user, and every rebuild of the processed picture while the window
// is shown: the largest picture of the same aspect that the window has room for.
void ResizeToWindow(Session& s);

// "Original": the picture at the size of the frames before resampling (or of the expanded
// stack).
void ResizeToOriginal(Session& s);

// "Save": the resized picture as BMP or JPEG.
void SaveShrinkClick(Session& s);

void RegisterResizeWindowHandlers(Session& s);

}  // namespace talvenor
