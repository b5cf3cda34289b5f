#pragma once
// The content of the wavelet page's own tool windows: the smoothing kernel, noise
// reduction with anti-ringing, and the red / blue channel shift.
#include "workspace/control_kinds.h"

namespace talvenor {

struct WaveletWindowControls {
    explicit WaveletWindowControls(ControlRegistry* registry) : reg_(registry) {}
    ControlRegistry* const reg_;

    // Smoothing kernel, 5 x 5; in each name the first digit is the column, the second the
    // row. The default is a 3 x 3 kernel (centre 50, neighbours 6) normalised when set.
    // Negative weights are allowed: they only count in the normalising sum.
    SpinEdit Filter00{reg_, "Filter00", "FilterWindow", {.caption = "Kernel 1,1", .hint = "Weight of the smoothing kernel at column 1, row 1", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter10{reg_, "Filter10", "FilterWindow", {.caption = "Kernel 2,1", .hint = "Weight of the smoothing kernel at column 2, row 1", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter20{reg_, "Filter20", "FilterWindow", {.caption = "Kernel 3,1", .hint = "Weight of the smoothing kernel at column 3, row 1", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter30{reg_, "Filter30", "FilterWindow", {.caption = "Kernel 4,1", .hint = "Weight of the smoothing kernel at column 4, row 1", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter40{reg_, "Filter40", "FilterWindow", {.caption = "Kernel 5,1", .hint = "Weight of the smoothing kernel at column 5, row 1", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter01{reg_, "Filter01", "FilterWindow", {.caption = "Kernel 1,2", .hint = "Weight of the smoothing kernel at column 1, row 2", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter11{reg_, "Filter11", "FilterWindow", {.caption = "Kernel 2,2", .hint = "Weight of the smoothing kernel at column 2, row 2", .value = 6, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter21{reg_, "Filter21", "FilterWindow", {.caption = "Kernel 3,2", .hint = "Weight of the smoothing kernel at column 3, row 2", .value = 6, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter31{reg_, "Filter31", "FilterWindow", {.caption = "Kernel 4,2", .hint = "Weight of the smoothing kernel at column 4, row 2", .value = 6, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter41{reg_, "Filter41", "FilterWindow", {.caption = "Kernel 5,2", .hint = "Weight of the smoothing kernel at column 5, row 2", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter02{reg_, "Filter02", "FilterWindow", {.caption = "Kernel 1,3", .hint = "Weight of the smoothing kernel at column 1, row 3", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter12{reg_, "Filter12", "FilterWindow", {.caption = "Kernel 2,3", .hint = "Weight of the smoothing kernel at column 2, row 3", .value = 6, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter22{reg_, "Filter22", "FilterWindow", {.caption = "Kernel 3,3", .hint = "Weight of the smoothing kernel at column 3, row 3", .value = 50, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter32{reg_, "Filter32", "FilterWindow", {.caption = "Kernel 4,3", .hint = "Weight of the smoothing kernel at column 4, row 3", .value = 6, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter42{reg_, "Filter42", "FilterWindow", {.caption = "Kernel 5,3", .hint = "Weight of the smoothing kernel at column 5, row 3", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter03{reg_, "Filter03", "FilterWindow", {.caption = "Kernel 1,4", .hint = "Weight of the smoothing kernel at column 1, row 4", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter13{reg_, "Filter13", "FilterWindow", {.caption = "Kernel 2,4", .hint = "Weight of the smoothing kernel at column 2, row 4", .value = 6, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter23{reg_, "Filter23", "FilterWindow", {.caption = "Kernel 3,4", .hint = "Weight of the smoothing kernel at column 3, row 4", .value = 6, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter33{reg_, "Filter33", "FilterWindow", {.caption = "Kernel 4,4", .hint = "Weight of the smoothing kernel at column 4, row 4", .value = 6, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter43{reg_, "Filter43", "FilterWindow", {.caption = "Kernel 5,4", .hint = "Weight of the smoothing kernel at column 5, row 4", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter04{reg_, "Filter04", "FilterWindow", {.caption = "Kernel 1,5", .hint = "Weight of the smoothing kernel at column 1, row 5", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter14{reg_, "Filter14", "FilterWindow", {.caption = "Kernel 2,5", .hint = "Weight of the smoothing kernel at column 2, row 5", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter24{reg_, "Filter24", "FilterWindow", {.caption = "Kernel 3,5", .hint = "Weight of the smoothing kernel at column 3, row 5", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter34{reg_, "Filter34", "FilterWindow", {.caption = "Kernel 4,5", .hint = "Weight of the smoothing kernel at column 4, row 5", .value = 0, .minValue = -999, .maxValue = 999}};
    SpinEdit Filter44{reg_, "Filter44", "FilterWindow", {.caption = "Kernel 5,5", .hint = "Weight of the smoothing kernel at column 5, row 5", .value = 0, .minValue = -999, .maxValue = 999}};
    Button SetFilter{reg_, "SetFilter", "FilterWindow", {.caption = "Set", .hint = "Uses the entered kernel values for the wavelet layers"}};
    Button ResetFilter{reg_, "ResetFilter", "FilterWindow", {.caption = "Reset", .hint = "Returns the wavelet kernel to its default values"}};
    Button SaveFilter{reg_, "SaveFilter", "FilterWindow", {.caption = "Save", .hint = "Saves the wavelet kernel to a file"}};
    Button LoadFilter{reg_, "LoadFilter", "FilterWindow", {.caption = "Load", .hint = "Loads a wavelet kernel from a file"}};

    // Noise reduction. Thresholds are in thousandths of the layer value; an estimator
    // re-ranges the sliders around its estimate. Each estimator is named by the statistic it
    // starts from; the letters stay, as projects and the command line know them by them.
    RadioGroup Denoise{reg_, "Denoise", "Denoisewindow",
                       {.caption = "Estimator",
                        .hint = "How the noise level of each layer is estimated", .items = {"None", "A: each layer's variance", "B: coarsest layer against each layer", "C: finest layer, scaled per layer", "D: each layer's mean amplitude"},
                        .itemIndex = 0}};
    // Scales every estimate by factor × 0.1; 10 uses the statistic as it is.
    SpinEdit stdevfactor{reg_, "stdevfactor", "Denoisewindow", {.caption = "Estimate factor", .visible = false, .hint = "Scales the noise estimate (10 uses it as measured)", .value = 10, .minValue = 1, .maxValue = 100}};
    // One row per layer: whether its threshold applies, and the threshold in thousandths.
    Panel NoiseRow1{reg_, "NoiseRow1", "Denoisewindow", {.row = true}};
    CheckBox cut1{reg_, "cut1", "NoiseRow1", {.caption = "layer 1", .hint = "Applies the noise threshold to layer 1"}};
    Slider Noise1{reg_, "Noise1", "NoiseRow1", {.hint = "Noise reduction strength on wavelet layer 1", .value = 0, .minValue = 0, .maxValue = 100, .increment = 10}};
    Panel NoiseRow2{reg_, "NoiseRow2", "Denoisewindow", {.row = true}};
    CheckBox cut2{reg_, "cut2", "NoiseRow2", {.caption = "layer 2", .hint = "Applies the noise threshold to layer 2"}};
    Slider Noise2{reg_, "Noise2", "NoiseRow2", {.hint = "Noise reduction strength on wavelet layer 2", .value = 0, .minValue = 0, .maxValue = 100, .increment = 10}};
    Panel NoiseRow3{reg_, "NoiseRow3", "Denoisewindow", {.row = true}};
    CheckBox cut3{reg_, "cut3", "NoiseRow3", {.caption = "layer 3", .hint = "Applies the noise threshold to layer 3"}};
    Slider Noise3{reg_, "Noise3", "NoiseRow3", {.hint = "Noise reduction strength on wavelet layer 3", .value = 0, .minValue = 0, .maxValue = 100, .increment = 10}};
    Panel NoiseRow4{reg_, "NoiseRow4", "Denoisewindow", {.row = true}};
    CheckBox cut4{reg_, "cut4", "NoiseRow4", {.caption = "layer 4", .hint = "Applies the noise threshold to layer 4"}};
    Slider noise4{reg_, "noise4", "NoiseRow4", {.hint = "Noise reduction strength on wavelet layer 4", .value = 0, .minValue = 0, .maxValue = 100, .increment = 10}};
    Panel NoiseRow5{reg_, "NoiseRow5", "Denoisewindow", {.row = true}};
    CheckBox cut5{reg_, "cut5", "NoiseRow5", {.caption = "layer 5", .hint = "Applies the noise threshold to layer 5"}};
    Slider noise5{reg_, "noise5", "NoiseRow5", {.hint = "Noise reduction strength on wavelet layer 5", .value = 0, .minValue = 0, .maxValue = 100, .increment = 10}};
    Panel NoiseRow6{reg_, "NoiseRow6", "Denoisewindow", {.row = true}};
    CheckBox cut6{reg_, "cut6", "NoiseRow6", {.caption = "layer 6", .hint = "Applies the noise threshold to layer 6"}};
    Slider noise6{reg_, "noise6", "NoiseRow6", {.hint = "Noise reduction strength on wavelet layer 6", .value = 0, .minValue = 0, .maxValue = 100, .increment = 10}};
    // Soft thresholding and live rebuilding are the only sensible modes; the switches stay
    // for diagnosis.
    CheckBox Subtract{reg_, "Subtract", "Denoisewindow", {.caption = "Hard Threshold", .visible = false, .hint = "Also shrinks the values above the threshold by the threshold", .checked = true}};
    CheckBox ActiveNoise{reg_, "ActiveNoise", "Denoisewindow", {.caption = "Active", .visible = false, .hint = "Rebuilds the image while the threshold sliders move", .checked = true}};
    CheckBox AntiRing{reg_, "AntiRing", "Denoisewindow", {.caption = "Anti-ring", .hint = "Suppresses the dark rings around bright edges"}};
    // Level in thousandths; a pick on the background re-ranges it around the measurement.
    Slider AntiRingSlider{reg_, "AntiRingSlider", "Denoisewindow", {.caption = "Anti-ring level", .hint = "Strength of the anti-ringing around bright edges", .value = 0, .minValue = 0, .maxValue = 100}};
    Label AntiRingHelpLabel{reg_, "AntiRingHelpLabel", "Denoisewindow",
                            {.caption = "Point at the darkest area and\r\nright-click to use anti-ringing"}};

    // Channel shift in whole pixels. Horizontal spins move the channel right for positive
    // values, vertical ones move it up; the arrow buttons step them by one.
    Label RChannelLabel{reg_, "RChannelLabel", "RGBShiftWindow", {.caption = "R-channel"}};
    SpinEdit RDXSpin{reg_, "RDXSpin", "RGBShiftWindow", {.caption = "Red shift X", .hint = "Moves the red channel right (positive) or left, in pixels", .value = 0, .minValue = -100, .maxValue = 100}};
    SpinEdit RdySpin{reg_, "RdySpin", "RGBShiftWindow", {.caption = "Red shift Y", .hint = "Moves the red channel up (positive) or down, in pixels", .value = 0, .minValue = -100, .maxValue = 100}};
    Button Button16{reg_, "Button16", "RGBShiftWindow", {.caption = "Up", .hint = "Moves the red channel up one pixel"}};
    Button Button19{reg_, "Button19", "RGBShiftWindow", {.caption = "Dn", .hint = "Moves the red channel down one pixel"}};
    Button Button17{reg_, "Button17", "RGBShiftWindow", {.caption = "Lt", .hint = "Moves the red channel left one pixel"}};
    Button Button18{reg_, "Button18", "RGBShiftWindow", {.caption = "Rt", .hint = "Moves the red channel right one pixel"}};
    Label BChannelLabel{reg_, "BChannelLabel", "RGBShiftWindow", {.caption = "B-Channel"}};
    SpinEdit BDXspin{reg_, "BDXspin", "RGBShiftWindow", {.caption = "Blue shift X", .hint = "Moves the blue channel right (positive) or left, in pixels", .value = 0, .minValue = -100, .maxValue = 100}};
    SpinEdit BDYSpin{reg_, "BDYSpin", "RGBShiftWindow", {.caption = "Blue shift Y", .hint = "Moves the blue channel up (positive) or down, in pixels", .value = 0, .minValue = -100, .maxValue = 100}};
    Button Button8{reg_, "Button8", "RGBShiftWindow", {.caption = "Up", .hint = "Moves the blue channel up one pixel"}};
    Button Button11{reg_, "Button11", "RGBShiftWindow", {.caption = "Dn", .hint = "Moves the blue channel down one pixel"}};
    Button Button9{reg_, "Button9", "RGBShiftWindow", {.caption = "Lt", .hint = "Moves the blue channel left one pixel"}};
    Button Button10{reg_, "Button10", "RGBShiftWindow", {.caption = "Rt", .hint = "Moves the blue channel right one pixel"}};
    Button RGBShifter{reg_, "RGBShifter", "RGBShiftWindow", {.caption = "Estimate", .hint = "Finds the red and blue shifts that best match green"}};
    Button Button4{reg_, "Button4", "RGBShiftWindow", {.caption = "Reset", .hint = "Sets the red and blue shifts back to zero"}};
    // Single-channel display while judging the shift.
    CheckBox Showred{reg_, "Showred", "RGBShiftWindow", {.caption = "Red", .hint = "Shows the red channel in the image", .checked = true}};
    CheckBox ShowGreen{reg_, "ShowGreen", "RGBShiftWindow", {.caption = "Green", .hint = "Shows the green channel in the image", .checked = true}};
    CheckBox ShowBlue{reg_, "ShowBlue", "RGBShiftWindow", {.caption = "Blue", .hint = "Shows the blue channel in the image", .checked = true}};
    CheckBox CheckBox2{reg_, "CheckBox2", "RGBShiftWindow", {.caption = "Set RGB align area", .hint = "Click the image to place the area the shifts are estimated on"}};
};

}  // namespace talvenor
