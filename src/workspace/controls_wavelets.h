#pragma once
// The Wavelet Processing page: the scheme, the six layers with their gains, contrast and
// brightness, the luminance mixer, the processed picture and the check boxes that open
// the wavelet tool windows.
#include "workspace/control_kinds.h"

namespace talvenor {

struct WaveletControls {
    explicit WaveletControls(ControlRegistry* registry) : reg_(registry) {}
    ControlRegistry* const reg_;

    Button ProcessButton{reg_, "ProcessButton", "TabSheet4", {.caption = "Process", .hint = "Splits the processing area into wavelet layers and shows the result"}};
    // Offered only when the processing area is smaller than the image.
    Button DoAll{reg_, "DoAll", "TabSheet4", {.caption = "Do all", .visible = false, .hint = "Processes the whole image tile by tile"}};
    // Timing of the last "Do all"; kept for diagnosis, never shown.
    Label DoAllspeed{reg_, "DoAllspeed", "TabSheet4", {.visible = false}};
    Button ResetButton{reg_, "ResetButton", "TabSheet4", {.caption = "Reset", .hint = "Returns the sharpening, layer gains, contrast, brightness and gamma to neutral"}};
    // Enabled by the first Process (or the single-image path).
    Button SaveBMP2button{reg_, "SaveBMP2button", "TabSheet4", {.caption = "Save", .enabled = false, .hint = "Saves the processed image"}};
    Button BitBtn11{reg_, "BitBtn11", "TabSheet4", {.caption = "Resize", .hint = "Opens a resized view of the processed image to judge or save"}};

    CheckBox AutoProcessBox{reg_, "AutoProcessBox", "TabSheet4", {.caption = "Auto-processing", .hint = "Processes again as soon as a setting changes"}};
    CheckBox HoldWavelets{reg_, "HoldWavelets", "TabSheet4", {.caption = "Hold layer settings", .hint = "Keeps the layer settings when a new input is opened"}};
    CheckBox PartialProcessControl{reg_, "PartialProcessControl", "TabSheet4",
                                   {.caption = "Partial processing", .hint = "Processes only the area while you adjust; saves and the Final page do all", .checked = true}};
    // On by default: a partial processing must not pass for the whole picture on screen.
    CheckBox ShowProcessingArea{reg_, "ShowProcessingArea", "TabSheet4",
                                {.caption = "Show processing area", .hint = "Marks the corners of the processing area", .checked = true}};

    // Sharpening: the wavelet layers, or a Gaussian deconvolution of the working planes (the
    // layers then carry it at gain 1, so noise thresholds and the layer previews still work).
    Panel SharpeningRow{reg_, "SharpeningRow", "TabSheet4", {.row = true}};
    RadioGroup SharpenMethod{reg_, "SharpenMethod", "SharpeningRow",
                             {.caption = "Sharpening", .hint = "Sharpens with the wavelet layers or by undoing the blur", .items = {"Wavelets", "Deconvolution"}, .itemIndex = 0}};
    Button AutoSharpen{reg_, "AutoSharpen", "SharpeningRow", {.caption = "Auto", .hint = "Chooses the sharpening from the stack itself: the layer gains, or the blur to undo"}};
    CheckBox AutoSharpenAfterStack{reg_, "AutoSharpenAfterStack", "TabSheet4",
                                   {.caption = "Sharpen automatically after stacking", .hint = "Sharpens each new stack by the best-measuring method, read off the stack", .checked = true}};
    // Shown while the method is "Deconvolution".
    Panel DeconvolutionGroup{reg_, "DeconvolutionGroup", "TabSheet4", {.caption = "Deconvolution", .visible = false}};
    RadioGroup DeconvFilter{reg_, "DeconvFilter", "DeconvolutionGroup",
                            {.caption = "Filter", .hint = "Richardson-Lucy iterates in the picture; Wiener filters in one pass", .items = {"Richardson-Lucy", "Wiener"}, .itemIndex = 0}};
    // Sigma of the Gaussian blur in hundredths of a pixel.
    Slider DeconvSigma{reg_, "DeconvSigma", "DeconvolutionGroup",
                       {.caption = "Blur sigma (pixels)", .hint = "Width of the blur to undo: the Gaussian's sigma in pixels", .value = 130, .minValue = 30, .maxValue = 600, .increment = 5, .shownDecimals = 2}};
    SpinEdit DeconvIterations{reg_, "DeconvIterations", "DeconvolutionGroup",
                              {.caption = "Iterations", .hint = "Richardson-Lucy iterations: more restore more and raise the noise", .value = 20, .minValue = 1, .maxValue = 200}};
    SpinEdit DeconvWienerK{reg_, "DeconvWienerK", "DeconvolutionGroup",
                           {.caption = "Regularisation", .visible = false, .hint = "Wiener filter: the noise power relative to the signal's; larger is smoother", .value = 0.02, .minValue = 0.001, .maxValue = 1, .increment = 0.005, .decimals = 4}};
    // The blind estimate of the stack's blur, so the user sees where "Auto" put the sigma.
    Label BlurEstimate{reg_, "BlurEstimate", "DeconvolutionGroup", {.caption = "Estimated blur: not measured yet"}};

    // Scheme. "Initial" and "Step" only mean something in the linear scheme, the default.
    RadioGroup Scaletype{reg_, "Scaletype", "TabSheet4",
                         {.caption = "Wavelet Scheme", .hint = "How the scale grows from layer to layer", .items = {"Dyadic (2^n)", "Linear"}, .itemIndex = 1}};
    SpinEdit LevelStep{reg_, "LevelStep", "TabSheet4", {.caption = "Initial", .hint = "Scale of the first wavelet layer", .value = 1, .minValue = 1, .maxValue = 32}};
    SpinEdit Multiplicant{reg_, "Multiplicant", "TabSheet4",
                          {.caption = "Step", .hint = "How much each further layer grows in scale (linear scheme)", .value = 0, .minValue = 0, .maxValue = 32, .increment = 0.1, .decimals = 2}};

    // One row per layer: its enable (the caption is rewritten with the layer's scale, "1 : 1"),
    // its gain in tenths (10 is a gain of 1.0) and the button that previews the layer while held
    // and shows the gain.
    Panel LayerRow1{reg_, "LayerRow1", "TabSheet4", {.row = true}};
    CheckBox CheckBox5{reg_, "CheckBox5", "LayerRow1", {.caption = "1:", .hint = "Includes layer 1 in the processed image", .checked = true}};
    Slider RxSlider3{reg_, "RxSlider3", "LayerRow1", {.hint = "Sharpening gain of wavelet layer 1 in tenths (10 = 1.0)", .value = 10, .minValue = -50, .maxValue = 1000, .shownDecimals = 1}};
    Button layer1button{reg_, "layer1button", "LayerRow1", {.caption = "1", .hint = "Hold to see layer 1 alone"}};
    Panel LayerRow2{reg_, "LayerRow2", "TabSheet4", {.row = true}};
    CheckBox CheckBox6{reg_, "CheckBox6", "LayerRow2", {.caption = "2:", .hint = "Includes layer 2 in the processed image", .checked = true}};
    Slider RxSlider4{reg_, "RxSlider4", "LayerRow2", {.hint = "Sharpening gain of wavelet layer 2 in tenths (10 = 1.0)", .value = 10, .minValue = -50, .maxValue = 1000, .shownDecimals = 1}};
    Button layer2button{reg_, "layer2button", "LayerRow2", {.caption = "1", .hint = "Hold to see layer 2 alone"}};
    Panel LayerRow3{reg_, "LayerRow3", "TabSheet4", {.row = true}};
    CheckBox CheckBox7{reg_, "CheckBox7", "LayerRow3", {.caption = "3:", .hint = "Includes layer 3 in the processed image", .checked = true}};
    Slider RxSlider5{reg_, "RxSlider5", "LayerRow3", {.hint = "Sharpening gain of wavelet layer 3 in tenths (10 = 1.0)", .value = 10, .minValue = -50, .maxValue = 1000, .shownDecimals = 1}};
    Button layer3button{reg_, "layer3button", "LayerRow3", {.caption = "1", .hint = "Hold to see layer 3 alone"}};
    Panel LayerRow4{reg_, "LayerRow4", "TabSheet4", {.row = true}};
    CheckBox CheckBox8{reg_, "CheckBox8", "LayerRow4", {.caption = "4:", .hint = "Includes layer 4 in the processed image", .checked = true}};
    Slider RxSlider6{reg_, "RxSlider6", "LayerRow4", {.hint = "Sharpening gain of wavelet layer 4 in tenths (10 = 1.0)", .value = 10, .minValue = -50, .maxValue = 1000, .shownDecimals = 1}};
    Button layer4button{reg_, "layer4button", "LayerRow4", {.caption = "1", .hint = "Hold to see layer 4 alone"}};
    Panel LayerRow5{reg_, "LayerRow5", "TabSheet4", {.row = true}};
    CheckBox CheckBox9{reg_, "CheckBox9", "LayerRow5", {.caption = "5:", .hint = "Includes layer 5 in the processed image", .checked = true}};
    Slider RxSlider7{reg_, "RxSlider7", "LayerRow5", {.hint = "Sharpening gain of wavelet layer 5 in tenths (10 = 1.0)", .value = 10, .minValue = -50, .maxValue = 1000, .shownDecimals = 1}};
    Button layer5button{reg_, "layer5button", "LayerRow5", {.caption = "1", .hint = "Hold to see layer 5 alone"}};
    Panel LayerRow6{reg_, "LayerRow6", "TabSheet4", {.row = true}};
    CheckBox CheckBox10{reg_, "CheckBox10", "LayerRow6", {.caption = "6:", .hint = "Includes layer 6 in the processed image", .checked = true}};
    Slider RxSlider8{reg_, "RxSlider8", "LayerRow6", {.hint = "Sharpening gain of wavelet layer 6 in tenths (10 = 1.0)", .value = 10, .minValue = -50, .maxValue = 1000, .shownDecimals = 1}};
    Button layer6button{reg_, "layer6button", "LayerRow6", {.caption = "1", .hint = "Hold to see layer 6 alone"}};

    // Contrast in percent, brightness in grey levels; the captions carry the values.
    Slider ContrastSlider{reg_, "ContrastSlider", "TabSheet4",
                          {.caption = "Contrast   : 100", .hint = "Contrast of the processed image in percent", .value = 100, .minValue = 10, .maxValue = 500}};
    Slider BrightnessSlider{reg_, "BrightnessSlider", "TabSheet4",
                            {.caption = "Brightness : 0", .hint = "Brightness offset of the processed image in grey levels", .value = 0, .minValue = -127, .maxValue = 127}};

    // Luminance mix for LRGB work, weights × 1000 before normalising.
    Panel LRGBMixerGroup{reg_, "LRGBMixerGroup", "TabSheet4", {.caption = "L= R+G+B mixer"}};
    Slider RedLRGBslider{reg_, "RedLRGBslider", "LRGBMixerGroup", {.caption = "R", .hint = "Red weight of the luminance the layers are built from", .value = 299, .minValue = 1, .maxValue = 1000}};
    Slider GreenLRGBSlider{reg_, "GreenLRGBSlider", "LRGBMixerGroup", {.caption = "G", .hint = "Green weight of the luminance the layers are built from", .value = 587, .minValue = 1, .maxValue = 1000}};
    Slider BlueLRGBSlider{reg_, "BlueLRGBSlider", "LRGBMixerGroup", {.caption = "B", .hint = "Blue weight of the luminance the layers are built from", .value = 114, .minValue = 1, .maxValue = 1000}};
    // Only useful once a FITS luminance frame has been read.
    CheckBox Lumichannel{reg_, "Lumichannel", "LRGBMixerGroup", {.caption = "Use Luminance (fits)", .visible = false, .hint = "Takes the luminance from the FITS luminance plane"}};

    // Tool windows of this page.
    CheckBox Histowin{reg_, "Histowin", "TabSheet4", {.caption = "Histogram and RGB", .hint = "Shows the histogram and colour balance window"}};
    CheckBox Gammawin{reg_, "Gammawin", "TabSheet4", {.caption = "Gamma Curve", .hint = "Shows the gamma curve window"}};
    CheckBox Showdenoise{reg_, "Showdenoise", "TabSheet4", {.caption = "Noise reduction", .hint = "Shows the noise reduction window"}};
    CheckBox Filtercheckbox{reg_, "Filtercheckbox", "TabSheet4", {.caption = "Show wavelet filter", .hint = "Shows the wavelet kernel window"}};
    // The channel shift needs a colour stack made by "Align && stack".
    CheckBox RGBSHIFT{reg_, "RGBSHIFT", "TabSheet4", {.caption = "Set RGB shift", .enabled = false, .hint = "Shows the window that aligns the red and blue channels"}};

    ScrollBox Scrollbox3{reg_, "Scrollbox3", "TabSheet4", {}};
    Picture ProcessImage{reg_, "ProcessImage", "TabSheet4", {.width = 817, .height = 625, .scroller = &Scrollbox3}};
};

}  // namespace talvenor
