#pragma once
// The Final page's hue, saturation and lightness labels carry their sliders' values. Whatever
// sets a slider (the slider itself, "Reset HSL", a project load) shows the label again here,
// so a label never reads a value the slider no longer has.
#include "workspace/controls.h"

namespace talvenor {

void ShowHslLabels(Controls& f);

}  // namespace talvenor
