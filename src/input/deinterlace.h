#pragma once
// Rebuilds one field of an interlaced frame in place: the lines (or columns) of the other
// field are replaced by the average of their neighbours, so each field can be registered
// and stacked as a full frame.
#include "workspace/bitmap24.h"

namespace talvenor {

// field 0 rewrites the odd rows (columns when `horizontal`), field 1 the even ones; the
// first and last row (column) never change. `width` x `height` is the source size; the
// picture's own size bounds it.
void Deinterlace(Bitmap24& frame, int field, bool horizontal, int width, int height);

}  // namespace talvenor
