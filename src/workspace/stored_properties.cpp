#include "workspace/stored_properties.h"

#include <array>

namespace talvenor {

namespace {

using namespace std::string_view_literals;

constexpr std::array kStoredProperties = {
    "Bias.Value"sv,
    "BlurBox.Checked"sv,
    "CheckBox5.Checked"sv,
    "CheckBox6.Checked"sv,
    "CheckBox7.Checked"sv,
    "CheckBox8.Checked"sv,
    "CheckBox9.Checked"sv,
    "CheckBox10.Checked"sv,
    "ColourStack.Checked"sv,
    "DeInterlacepanel.Expand"sv,
    "differencecutslider.Value"sv,
    "Expandstack.Checked"sv,
    "SubPixelStack.Checked"sv,
    "FFTFilter.Checked"sv,
    "FFTFilterspin.Value"sv,
    "FFTsizeGroup.ItemIndex"sv,
    "Followme.Checked"sv,
    "HistoSmooth.Checked"sv,
    "Histowin.Checked"sv,
    "LevelStep.Value"sv,
    "Misalignwarning.Checked"sv,
    "Multiplicant.Value"sv,
    "Optimizepanel.Expand"sv,
    "OptimizeQualitySpin.Value"sv,
    "OptimizeSpin.Value"sv,
    "PredictTrack.Checked"sv,
    "ProcessingPanel.Expand"sv,
    "QualityFilter.Value"sv,
    "QualStack.Checked"sv,
    "RxSlider3.Value"sv,
    "RxSlider4.Value"sv,
    "RxSlider5.Value"sv,
    "RxSlider6.Value"sv,
    "RxSlider7.Value"sv,
    "RxSlider8.Value"sv,
    "Scaletype.ItemIndex"sv,
    "SearchArea.Value"sv,
    "Showpeak.Checked"sv,
    "Stackgraphpanel.Expand"sv,
    "StackSlider.Value"sv,
    "Trackpanel.Expand"sv,
    "UseDarkFrame.Checked"sv,
    "UseFlatfield.Checked"sv,
    "Colourprocess2.Checked"sv,
    "interlaceinterpolation.ItemIndex"sv,
    "BrightnessSlider.Value"sv,
    "ContrastSlider.Value"sv,
    "AutoProcessBox.Checked"sv,
    "LRGB1.Checked"sv,
    "LRGB2.Checked"sv,
    "ShowProcessingArea.Checked"sv,
    "PartialProcessControl.Checked"sv,
    "QualFilterDX.Value"sv,
    "AutoQualityBand.Checked"sv,
    "Contrast.Checked"sv,
    // The processing area is kept by its text, so a reordered item list cannot change it.
    "Processarea.Text"sv,
    "Interlaced.Checked"sv,
    // Kept by their texts, like the processing area.
    "BayerCombo.Text"sv,
    "DebayerCombo.Text"sv,
    "InterlaceHoriz.Checked"sv,
    "InitialOptionspanel.Expand"sv,
    "Imageoptionspanel.Expand"sv,

    "FFTWindow.Left"sv,
    "FFTWindow.Top"sv,
    "FilterWindow.Left"sv,
    "FilterWindow.Top"sv,
    "GammaWindow.Left"sv,
    "GammaWindow.Top"sv,
    "HistoWindow.Left"sv,
    "HistoWindow.Top"sv,
    "MessageWindow.Left"sv,
    "MessageWindow.Top"sv,
    "Propertywindow.Left"sv,
    "Propertywindow.Top"sv,
    "SelectFrameswindow.Left"sv,
    "SelectFrameswindow.Top"sv,
    "Shrinkview.Left"sv,
    "Shrinkview.Top"sv,
    "Stackframeswindow.Left"sv,
    "Stackframeswindow.Top"sv,
    "Denoisewindow.Left"sv,
    "Denoisewindow.Top"sv,
    "RGBShiftWindow.Left"sv,
    "RGBShiftWindow.Top"sv,
    "HLSWindow.Left"sv,
    "HLSWindow.Top"sv,
};

}  // namespace

std::span<const std::string_view> StoredProperties() { return kStoredProperties; }

}  // namespace talvenor
