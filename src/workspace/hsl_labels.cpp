#include "workspace/hsl_labels.h"

#include <string>

namespace talvenor {

void ShowHslLabels(Controls& f) {
    f.Huelabel.Caption = "Hue        :" + std::to_string(f.HueSlider.Value);
    f.Satlabel.Caption = "Saturation :" + std::to_string(f.SaturationSlider.Value);
    f.Lightlabel.Caption = "lightness  :" + std::to_string(f.Lightnessslider.Value);
}

}  // namespace talvenor
