#pragma once
// The content of the floating tool windows of the Input, Aligning, Stacking and Final
// pages, and of the histogram, gamma and resize windows. The windows of the wavelet
// kernel, noise reduction and channel shift are in controls_wavelet_windows.h.
#include "workspace/control_kinds.h"

namespace talvenor {

struct ToolWindowContentControls {
    explicit ToolWindowContentControls(ControlRegistry* registry) : reg_(registry) {}
    ControlRegistry* const reg_;

    // Frame list. Saving, loading and sorting lists only apply to image series, and
    // "Add" to a loaded list, so those buttons start hidden.
    Button Framelistsavebutton{reg_, "Framelistsavebutton", "SelectFrameswindow", {.caption = "Save", .visible = false, .hint = "Saves the ticked frames as a frame list file"}};
    Button Framelistloadbutton{reg_, "Framelistloadbutton", "SelectFrameswindow", {.caption = "Load", .visible = false, .hint = "Loads a frame list from a file"}};
    Button FramelistSortbutton{reg_, "FramelistSortbutton", "SelectFrameswindow", {.caption = "Sort", .visible = false, .hint = "Sorts the frames by file name"}};
    Button AddFramesButton{reg_, "AddFramesButton", "SelectFrameswindow", {.caption = "Add", .visible = false, .hint = "Appends the frames of another list file"}};
    Button BitBtn10{reg_, "BitBtn10", "SelectFrameswindow", {.caption = "Empty List", .hint = "Empties the frame list so a new one can be added"}};
    Button BitBtn4{reg_, "BitBtn4", "SelectFrameswindow", {.caption = "Set all", .hint = "Selects every frame"}};
    Button BitBtn5{reg_, "BitBtn5", "SelectFrameswindow", {.caption = "Set none", .hint = "Deselects every frame"}};
    CheckListBox SelectFramesChecklist{reg_, "SelectFramesChecklist", "SelectFrameswindow", {.hint = "Ticked frames are used; click a frame to show it", .multiSelect = true}};

    // Spectrum of the alignment box, stretched over the window.
    Picture imgFFT{reg_, "imgFFT", "FFTWindow", {.width = 128, .height = 128}};

    // Power spectrum with the quality band, and the ranked quality / difference curves.
    Picture imgGraph{reg_, "imgGraph", "Propertywindow", {.width = 300, .height = 250}};

    CheckListBox StackFramesList{reg_, "StackFramesList", "Stackframeswindow", {.hint = "Ranked frames: untick to leave one out, click to set the cut there", .multiSelect = true}};

    // Histogram and colour balance.
    Picture Histograph{reg_, "Histograph", "HistoWindow", {.width = 281, .height = 260}};
    // The stretch markers (teal low, red high). A column layout cannot place pictures under
    // the graph, so the graph draws them in its bottom strip and these stay hidden.
    Picture Lowtriangle{reg_, "Lowtriangle", "HistoWindow", {.visible = false, .width = 13, .height = 10}};
    Picture Hitriangle{reg_, "Hitriangle", "HistoWindow", {.visible = false, .width = 13, .height = 10}};
    CheckBox Showpeak{reg_, "Showpeak", "HistoWindow", {.caption = "Show peak", .hint = "Scales the histogram to its full peak instead of half"}};
    CheckBox HistoSmooth{reg_, "HistoSmooth", "HistoWindow", {.caption = "Smooth", .hint = "Smooths the histogram over five levels"}};
    Button HistoReset{reg_, "HistoReset", "HistoWindow", {.caption = "Reset", .hint = "Undoes the histogram stretch"}};
    Button BitBtn3{reg_, "BitBtn3", "HistoWindow", {.caption = "Stretch", .hint = "Stretches the levels between the markers to the full range"}};
    // Channel offsets in grey levels. Red and blue mean nothing on a monochrome stack, so
    // they follow "Colour processing", which is off by default.
    Slider RedSlider{reg_, "RedSlider", "HistoWindow", {.caption = "R offset", .enabled = false, .hint = "Raises or lowers the red level", .value = 0, .minValue = -100, .maxValue = 100, .increment = 2}};
    Slider GreenSlider{reg_, "GreenSlider", "HistoWindow", {.caption = "G offset", .hint = "Raises or lowers the green level", .value = 0, .minValue = -100, .maxValue = 100, .increment = 2}};
    Slider blueslider{reg_, "blueslider", "HistoWindow", {.caption = "B offset", .enabled = false, .hint = "Raises or lowers the blue level", .value = 0, .minValue = -100, .maxValue = 100, .increment = 2}};
    SpinEdit Rbalance{reg_, "Rbalance", "HistoWindow",
                      {.caption = "R balance", .hint = "Red gain of the colour balance", .value = 1.0, .minValue = 0, .maxValue = 1.5, .increment = 0.05, .decimals = 2}};
    SpinEdit Gbalance{reg_, "Gbalance", "HistoWindow",
                      {.caption = "G balance", .hint = "Green gain of the colour balance", .value = 1.0, .minValue = 0, .maxValue = 1.5, .increment = 0.05, .decimals = 2}};
    SpinEdit Bbalance{reg_, "Bbalance", "HistoWindow",
                      {.caption = "B balance", .hint = "Blue gain of the colour balance", .value = 1.0, .minValue = 0, .maxValue = 1.5, .increment = 0.05, .decimals = 2}};
    Button Button5{reg_, "Button5", "HistoWindow", {.caption = "Set Zero", .hint = "Sets the levels to zero and the colour balance to 1.0"}};

    // Gamma curve: input left to right, output bottom to top, one pixel per grey level.
    Picture GammaSplineGraph{reg_, "GammaSplineGraph", "GammaWindow", {.width = 255, .height = 255}};
    SpinEdit Gamma1spin{reg_, "Gamma1spin", "GammaWindow",
                        {.caption = "Gamma (overrules graph)", .hint = "Gamma of the curve; setting it replaces the drawn curve", .value = 1.0, .minValue = 0.1, .maxValue = 10,
                         .increment = 0.1, .decimals = 1}};
    CheckBox LinearSpline{reg_, "LinearSpline", "GammaWindow", {.caption = "Linear", .hint = "Draws the curve as straight lines between its points"}};
    Button Button2{reg_, "Button2", "GammaWindow", {.caption = "Reset", .hint = "Returns the gamma curve to a straight line"}};
    Label GammaHelpLabel{reg_, "GammaHelpLabel", "GammaWindow",
                         {.caption = " right-click : insert a point\r\n ctrl-left-click : delete a point\r\n double - click : reset"}};

    // Hue-dependent curves over 0..360 degrees, neutral at mid-height, with the hue
    // histogram above them.
    Picture HueHistoImage{reg_, "HueHistoImage", "HLSWindow", {.width = 361, .height = 50}};
    Picture huepoint{reg_, "huepoint", "HLSWindow", {.visible = false, .width = 9, .height = 9}};
    Picture Huegraph{reg_, "Huegraph", "HLSWindow", {.width = 361, .height = 100}};
    Picture Saturationgraph{reg_, "Saturationgraph", "HLSWindow", {.width = 361, .height = 100}};
    Picture Lightnessgraph{reg_, "Lightnessgraph", "HLSWindow", {.width = 361, .height = 100}};

    // Resize window. Start-up selects 150%; opening the window switches to 100%.
    ComboBox ComboBox1{reg_, "ComboBox1", "Shrinkview",
                       {.hint = "Size of the resized image relative to the original", .items = {"200%", "150%", "100%", "75%", "50%", "25%"}, .itemIndex = 1}};
    RadioGroup ResizeFilters{reg_, "ResizeFilters", "Shrinkview",
                             {.caption = "Filters", .hint = "Interpolation filter used when resizing", .items = {"Bell", "B-Spline", "Lanczos", "Mitchell"}, .itemIndex = 1}};
    Label Imagesize{reg_, "Imagesize", "Shrinkview", {.caption = "Imagesize: "}};
    Button SaveShrink{reg_, "SaveShrink", "Shrinkview", {.caption = "Save", .hint = "Saves the resized image"}};
    Button Shrinktooriginal{reg_, "Shrinktooriginal", "Shrinkview", {.caption = "Original", .hint = "Resizes to the size of the original frames"}};
    Picture ShrinkImage{reg_, "ShrinkImage", "Shrinkview", {}};
};

}  // namespace talvenor
