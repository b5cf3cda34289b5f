#pragma once
// The Aligning page: the alignment pass and its options, the quality band, tracking,
// the optimizer and the expert options that only "admin.txt" reveals.
#include "workspace/control_kinds.h"

namespace talvenor {

struct AligningControls {
    explicit AligningControls(ControlRegistry* registry) : reg_(registry) {}
    ControlRegistry* const reg_;

    Button Allignallbutton{reg_, "Allignallbutton", "TabSheet2", {.caption = "Align", .hint = "Aligns every selected frame on the chosen feature"}};
    // "&&" shows a single ampersand on the button.
    Button AlignStackButton{reg_, "AlignStackButton", "TabSheet2", {.caption = "Align && stack", .hint = "Aligns, then stacks the best frames in one go"}};
    Button RecalcQual{reg_, "RecalcQual", "TabSheet2", {.caption = "Recalc quality", .hint = "Grades the frames again with the current quality band"}};
    Button RestartAlign{reg_, "RestartAlign", "TabSheet2", {.caption = "Re-align with processed", .hint = "Aligns again against the stacked image"}};
    // Shown during a pass with the misalign warning on, to force the realign question.
    Button Haltbutton{reg_, "Haltbutton", "TabSheet2", {.caption = "Re-Align", .visible = false, .hint = "Asks at the next frame whether to place the lost feature again by hand"}};
    // Nothing to optimise before a pass has run.
    Button Optimizebutton{reg_, "Optimizebutton", "TabSheet2", {.caption = "Optimize", .visible = false, .enabled = false, .hint = "Refines every frame's shift against the reference picture"}};
    // Travels with the spectrum window and needs a picked feature.
    Button AlignOneBUtton{reg_, "AlignOneBUtton", "TabSheet2", {.caption = "Recalc FFT", .visible = false, .enabled = false, .hint = "Re-centres the box and aligns the feature frame once more"}};

    CheckBox ManualAlign{reg_, "ManualAlign", "TabSheet2", {.caption = "Manual alignment", .hint = "Lets you place the feature by clicking in each frame"}};
    CheckBox Misalignwarning{reg_, "Misalignwarning", "TabSheet2", {.caption = "Misalign warning", .hint = "Shows a Re-Align button to correct a lost frame by hand"}};
    CheckBox ShowFFTbox{reg_, "ShowFFTbox", "TabSheet2", {.caption = "Show FFT", .hint = "Shows the spectrum of the alignment box"}};
    CheckBox Showgraphbox{reg_, "Showgraphbox", "TabSheet2", {.caption = "Show graph", .hint = "Shows the quality graph of the frames", .checked = true}};

    // Low-pass on the box spectra; the radius is in frequency bins.
    CheckBox FFTFilter{reg_, "FFTFilter", "TabSheet2", {.caption = "Alignment filter", .hint = "Low-pass filters the box spectra before correlating", .checked = true}};
    SpinEdit FFTFilterspin{reg_, "FFTFilterspin", "TabSheet2",
                           {.caption = "FFT filter radius", .hint = "Radius of the low-pass on the box spectra, in frequency bins",
                            .value = 10, .minValue = 1, .maxValue = 50, .increment = 1, .decimals = 1}};
    // The quality band: start bin and width, both used rounded.
    SpinEdit QualityFilter{reg_, "QualityFilter", "TabSheet2",
                           {.caption = "Quality filter band", .hint = "First frequency bin of the band that grades sharpness", .value = 12, .minValue = 1, .maxValue = 250}};
    SpinEdit QualFilterDX{reg_, "QualFilterDX", "TabSheet2",
                          {.caption = "Quality band width", .hint = "Width of the quality band in frequency bins", .value = 5, .minValue = 1, .maxValue = 50}};
    // Derives the band from the reference box whenever a feature is picked, and writes it into
    // the two spins above; changing either spin by hand turns it off.
    CheckBox AutoQualityBand{reg_, "AutoQualityBand", "TabSheet2", {.caption = "Automatic band", .hint = "Derives the quality band from the chosen feature", .checked = true}};
    CheckBox Contrast{reg_, "Contrast", "TabSheet2", {.caption = "Use contrast", .hint = "Takes contrast into account when grading the frames"}};

    // Luminance weights for registration (red, green, blue).
    SpinEdit RxSpinEdit1{reg_, "RxSpinEdit1", "TabSheet2",
                         {.caption = "R", .hint = "Red weight of the luminance used for alignment", .value = 0.299, .minValue = 0, .maxValue = 1, .increment = 0.001, .decimals = 3}};
    SpinEdit RxSpinEdit2{reg_, "RxSpinEdit2", "TabSheet2",
                         {.caption = "G", .hint = "Green weight of the luminance used for alignment", .value = 0.587, .minValue = 0, .maxValue = 1, .increment = 0.001, .decimals = 3}};
    SpinEdit RxSpinEdit3{reg_, "RxSpinEdit3", "TabSheet2",
                         {.caption = "B", .hint = "Blue weight of the luminance used for alignment", .value = 0.114, .minValue = 0, .maxValue = 1, .increment = 0.001, .decimals = 3}};

    Picture AlignImage{reg_, "AlignImage", "TabSheet2", {.width = 817, .height = 625}};
    // Holds the ranking position the optimizer is working on; never shown to the user.
    Slider AlignSlider{reg_, "AlignSlider", "TabSheet2", {.visible = false, .hint = "Steps through the aligned frames to check each one", .value = 0, .minValue = 0, .maxValue = 0}};
    Label label4{reg_, "label4", "TabSheet2", {}};
    // The feature's place in the box and the frame's shift, both as "x y".
    Label Label1{reg_, "Label1", "TabSheet2",
                 {.hint = "Where the feature lies in the alignment box (x y)", .heading = "Feature in box"}};
    Label Label3{reg_, "Label3", "TabSheet2",
                 {.hint = "Shift of the last frame against the reference (x y)", .heading = "Frame shift"}};
    Memo Memo2{reg_, "Memo2", "TabSheet2", {}};

    Panel Trackpanel{reg_, "Trackpanel", "TabSheet2", {.caption = "Tracking"}};
    CheckBox Followme{reg_, "Followme", "Trackpanel", {.caption = "Track object", .hint = "Follows the feature as it drifts through the video", .checked = true}};
    CheckBox PredictTrack{reg_, "PredictTrack", "Trackpanel", {.caption = "Predict track", .hint = "Extrapolates the drift to find the feature sooner"}};

    Panel Optimizepanel{reg_, "Optimizepanel", "TabSheet2", {.caption = "Optimizing options"}};
    SpinEdit SearchArea{reg_, "SearchArea", "Optimizepanel", {.caption = "Search area", .hint = "How many pixels around its shift the optimizer searches", .value = 2, .minValue = 1, .maxValue = 10}};
    // Frames below this share of the best quality are neither optimised nor kept by the
    // automatic cut. With a band that grades frames by their blur, 80 % kept a quarter to a
    // third of a capture with ordinary seeing, well past the frames that sharpen a stack;
    // 90 % keeps the sharpest 5 to 15 % (1 to 3 dB closer to the truth on such captures).
    SpinEdit OptimizeQualitySpin{reg_, "OptimizeQualitySpin", "Optimizepanel",
                                 {.caption = "Lower quality", .hint = "Frames below this percentage of the best quality are skipped", .value = 90, .minValue = 0, .maxValue = 100, .increment = 5}};
    SpinEdit OptimizeSpin{reg_, "OptimizeSpin", "Optimizepanel",
                          {.caption = "Optimize until ", .hint = "Repeat the optimizer until it improves less than this percentage", .value = 1, .minValue = 1, .maxValue = 50}};
    CheckBox FastOptimize{reg_, "FastOptimize", "Optimizepanel", {.caption = "Fast optimize", .hint = "Skips frames the optimizer already placed well", .checked = true}};
    CheckBox AutoOptimize{reg_, "AutoOptimize", "Optimizepanel", {.caption = "Auto-Optimisation", .hint = "Runs the optimizer after alignment", .checked = true}};
    CheckBox Resampled{reg_, "Resampled", "Optimizepanel", {.caption = "Resample", .hint = "Aligns on frames scaled up by the resample factor"}};
    // Factor and filter appear only while "Resample" is checked.
    SpinEdit ResampleSpin{reg_, "ResampleSpin", "Optimizepanel",
                          {.caption = "Resample factor", .visible = false, .hint = "Scale of the resampled frames (1.0 to 4.0)", .value = 2.0, .minValue = 1.0, .maxValue = 4.0,
                           .increment = 0.1, .decimals = 1}};
    // B-spline does not ring, which is what an upsampled stack wants by default.
    ComboBox ResampleCombo{reg_, "ResampleCombo", "Optimizepanel",
                           {.caption = "Resample filter", .visible = false, .hint = "Interpolation filter used when resampling",
                            .items = {"Bell", "Bspline", "Lanczos", "Mitchell"}, .itemIndex = 1}};

    Panel ProcessingPanel{reg_, "ProcessingPanel", "TabSheet2", {.caption = "Processing options"}};
    CheckBox BlurBox{reg_, "BlurBox", "ProcessingPanel", {.caption = "Bias subtract", .hint = "Subtracts a bias level from every frame"}};
    // Appears with "Bias subtract"; a grey level, used rounded.
    SpinEdit Bias{reg_, "Bias", "ProcessingPanel",
                  {.caption = "Bias level", .visible = false, .hint = "Grey level subtracted from every frame", .value = 50, .minValue = 0, .maxValue = 255}};

    // Expert options. The panel is hidden and collapsed unless "admin.txt" is present; its
    // members stay visible themselves so that showing the panel is all start-up does.
    Panel Secretoptions{reg_, "Secretoptions", "TabSheet2", {.caption = "Secret options", .visible = false, .expand = false}};
    CheckBox Showtracebox{reg_, "Showtracebox", "Secretoptions", {.caption = "Show aligning", .hint = "Draws each frame and its alignment box while aligning", .checked = true}};
    CheckBox Normalize{reg_, "Normalize", "Secretoptions", {.caption = "Normalized", .hint = "Whitens the frame spectrum before correlating", .checked = true}};
    RadioGroup Correlationtype{reg_, "Correlationtype", "Secretoptions",
                               {.caption = "Correlation type", .hint = "Cross or phase correlation for finding the shift", .items = {"Cross", "Phase"}, .itemIndex = 0}};
    CheckBox NoSquare{reg_, "NoSquare", "Secretoptions", {.caption = "NoSquare", .hint = "Compares frames by absolute rather than squared differences"}};
    CheckBox Relative{reg_, "Relative", "Secretoptions", {.caption = "relative", .hint = "Weighs each difference by the frame's own value"}};
    CheckBox SubPixelEstimate{reg_, "SubPixelEstimate", "Secretoptions", {.caption = "SubPixelEstimate", .hint = "Refines each shift to a fraction of a pixel (skips the optimizer)"}};
    // Mirrors Drizzle2 on the Stacking page.
    CheckBox Drizzling{reg_, "Drizzling", "Secretoptions", {.caption = "Drizzling", .hint = "Stacks onto a grid of twice the resolution"}};

    // Scratch picture of the optimizer's resampled reference.
    Picture Image2{reg_, "Image2", "TabSheet2", {.visible = false}};
};

}  // namespace talvenor
