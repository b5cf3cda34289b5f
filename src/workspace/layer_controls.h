#pragma once
// The wavelet page's layer settings as start-up, a new input and "Reset" put them back.
#include "workspace/controls.h"

namespace talvenor {

// The six layer gains to 10, contrast 100, brightness 0 and gamma 1.0.
void ResetLayerGains(Controls& form);
// All six layers switched on.
void CheckAllLayers(Controls& form);

}  // namespace talvenor
