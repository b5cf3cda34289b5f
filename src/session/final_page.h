#pragma once
// The Final page: the processed image rotated, colour-adjusted and flipped into the picture
// that is saved, its thumbnail, the crop rectangle, and the page's save and clipboard.
#include "session/session.h"

namespace talvenor {

// Renders the 16-bit processed image into the final picture (angle, global and per-hue colour
// shifts, flips), draws the hue histogram and refreshes the thumbnail.
void UpdateFinalBitmap(Session& s);

// The thumbnail with the visible part of the final view outlined.
void UpdateOverview(Session& s);

// The final picture as it shows, without the crop outline drawn over it.
Bitmap24 FinalPicture(Session& s);

// The final picture as it is saved or copied: the crop rectangle of it with "Use crop",
// otherwise the whole picture.
Bitmap24 FinalPictureForOutput(Session& s);

// What runs before the final picture is saved or copied: the whole image processed (unless it
// already is) and the final picture rendered from it again. False when the user cancelled.
bool PrepareFinalOutput(Session& s);

void RegisterFinalPageHandlers(Session& s);

}  // namespace talvenor
