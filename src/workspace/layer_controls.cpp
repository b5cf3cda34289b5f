#include "workspace/layer_controls.h"

namespace talvenor {

void ResetLayerGains(Controls& f) {
    for (Slider* layer : {&f.RxSlider3, &f.RxSlider4, &f.RxSlider5, &f.RxSlider6, &f.RxSlider7, &f.RxSlider8})
        layer->Value = 10;
    f.ContrastSlider.Value = 100;
    f.BrightnessSlider.Value = 0;
    f.Gamma1spin.Value = 1.0;
}

void CheckAllLayers(Controls& f) {
    for (CheckBox* layer : {&f.CheckBox5, &f.CheckBox6, &f.CheckBox7, &f.CheckBox8, &f.CheckBox9, &f.CheckBox10})
        layer->Checked = true;
}

}  // namespace talvenor
