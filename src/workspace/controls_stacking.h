#pragma once
// The Stacking page: the two cut-offs with the stack graph, the stack options, the
// stacked picture and its save button.
#include "workspace/control_kinds.h"

namespace talvenor {

struct StackingControls {
    explicit StackingControls(ControlRegistry* registry) : reg_(registry) {}
    ControlRegistry* const reg_;

    Button Stackbutton{reg_, "Stackbutton", "TabSheet3", {.caption = "Stack", .hint = "Stacks the frames up to the quality cut"}};
    // There is nothing to save until a stack exists.
    Button SaveButton{reg_, "SaveButton", "TabSheet3", {.caption = "Save", .enabled = false, .hint = "Saves the stacked image"}};

    // Options. Colourprocess2 mirrors ColourStack of the Input page.
    CheckBox Colourprocess2{reg_, "Colourprocess2", "TabSheet3", {.caption = "Colour processing", .hint = "Stacks the colour channels separately"}};
    CheckBox QualStack{reg_, "QualStack", "TabSheet3", {.caption = "Use image quality", .hint = "Weighs each frame by its quality", .checked = true}};
    CheckBox Expandstack{reg_, "Expandstack", "TabSheet3", {.caption = "Expand image", .hint = "Makes the stack large enough for every frame's shift"}};
    // Each frame at its sub-pixel shift, read with an interpolation that keeps the detail.
    CheckBox SubPixelStack{reg_, "SubPixelStack", "TabSheet3", {.caption = "Sub-pixel stacking", .hint = "Places each frame at its sub-pixel shift"}};
    // Drizzle is an expert option: hidden unless "admin.txt" is present; mirrors Drizzling.
    CheckBox Drizzle2{reg_, "Drizzle2", "TabSheet3", {.caption = "Drizzle2", .visible = false, .hint = "Stacks onto a grid of twice the resolution"}};
    // Drop size in percent of a pixel.
    SpinEdit Pixfrac{reg_, "Pixfrac", "TabSheet3",
                     {.caption = "Drop size %", .visible = false, .hint = "Drizzle drop size in percent of a pixel",
                      .value = 80, .minValue = 10, .maxValue = 200, .increment = 10}};
    // Enabled with colour processing, like LRGB1.
    CheckBox LRGB2{reg_, "LRGB2", "TabSheet3", {.caption = "LRGB", .enabled = false, .hint = "Sharpens luminance only and keeps the colour as stacked"}};
    CheckBox Stacklist{reg_, "Stacklist", "TabSheet3", {.caption = "Show stack list", .hint = "Shows the list of ranked frames to stack"}};

    // Alignment points: the stack made area by area, each area from its own sharpest frames at
    // its own shift. Size 0 and frames 0 mean automatic (from the object's size; as many frames
    // as the global stack takes).
    Panel AlignmentPointsPanel{reg_, "AlignmentPointsPanel", "TabSheet3", {.caption = "Alignment points"}};
    CheckBox UseAlignmentPoints{reg_, "UseAlignmentPoints", "AlignmentPointsPanel",
                                {.caption = "Use alignment points", .hint = "Aligns and selects frames area by area; off: one shift per frame", .checked = true}};
    SpinEdit APSize{reg_, "APSize", "AlignmentPointsPanel",
                    {.caption = "Box size (0 = automatic)", .hint = "Side of each point's box in pixels; 0 picks it from the object's size",
                     .value = 0, .minValue = 0, .maxValue = 256, .increment = 8}};
    SpinEdit APKeep{reg_, "APKeep", "AlignmentPointsPanel",
                    {.caption = "Frames per point (0 = automatic)", .hint = "How many of its sharpest frames each point stacks; 0: as many as the global stack",
                     .value = 0, .minValue = 0, .maxValue = 5000}};
    CheckBox APKeepPercent{reg_, "APKeepPercent", "AlignmentPointsPanel",
                           {.caption = "Frames per point in %", .hint = "Reads the frames per point as a percentage of the frames"}};
    SpinEdit APMinBrightness{reg_, "APMinBrightness", "AlignmentPointsPanel",
                             {.caption = "Minimum brightness %", .hint = "A box's mean level in percent of the object's bright level",
                              .value = 20, .minValue = 0, .maxValue = 100}};
    SpinEdit APMinStructure{reg_, "APMinStructure", "AlignmentPointsPanel",
                            {.caption = "Minimum structure %", .hint = "A box's detail in percent of the typical box's",
                             .value = 25, .minValue = 0, .maxValue = 1000}};
    SpinEdit APSearch{reg_, "APSearch", "AlignmentPointsPanel",
                      {.caption = "Search radius", .hint = "How far around the frame's shift each point looks, in pixels",
                       .value = 4, .minValue = 1, .maxValue = 16}};
    Button APPlaceButton{reg_, "APPlaceButton", "AlignmentPointsPanel", {.caption = "Place automatically", .hint = "Places the points on the stack by the settings above"}};
    Button APClearButton{reg_, "APClearButton", "AlignmentPointsPanel", {.caption = "Clear", .hint = "Removes every point, to place them by hand"}};
    CheckBox APEditMode{reg_, "APEditMode", "AlignmentPointsPanel",
                        {.caption = "Add or remove points by clicking", .hint = "A click on the stack adds a point there, or removes the one clicked"}};
    Label APCountLabel{reg_, "APCountLabel", "AlignmentPointsPanel", {.caption = "Points: automatic"}};

    Label StackInfoLabel{reg_, "StackInfoLabel", "TabSheet3", {.caption = "Stacking :"}};
    Label Stackimagesize{reg_, "Stackimagesize", "TabSheet3", {}};

    Panel Stackgraphpanel{reg_, "Stackgraphpanel", "TabSheet3", {.caption = "Stackgraph"}};
    Picture StackGraph{reg_, "StackGraph", "Stackgraphpanel", {.width = 307, .height = 249}};
    // Percent of the largest registration difference; 100 keeps every frame.
    Slider differencecutslider{reg_, "differencecutslider", "Stackgraphpanel",
                               {.hint = "Leaves out frames whose difference exceeds this percentage of the largest", .value = 100, .minValue = 0, .maxValue = 100,
                                .orientation = Slider::Orientation::Vertical}};
    // The last rank kept. The pass sets the real maximum; until then it allows every
    // frame index so that the cut restored from the settings file is not clipped.
    Slider StackSlider{reg_, "StackSlider", "Stackgraphpanel",
                        {.caption = "Frames to stack", .hint = "How many of the best ranked frames the stack may take, before the cut-offs",
                         .value = 0, .minValue = 0, .maxValue = 5000, .shownOffset = 1}};
    Label RxLabel4{reg_, "RxLabel4", "Stackgraphpanel", {.caption = "Difference Cutoff (blue line)"}};
    Label RxLabel5{reg_, "RxLabel5", "Stackgraphpanel", {.caption = "Quality Cutoff (red line)"}};

    ScrollBox ScrollBox2{reg_, "ScrollBox2", "TabSheet3", {}};
    Picture Stackimage{reg_, "Stackimage", "TabSheet3", {.width = 817, .height = 625, .scroller = &ScrollBox2}};
    // Scratch pictures of the resampling stacker (frame cut-out and its resampled copy).
    Picture Image4{reg_, "Image4", "TabSheet3", {.visible = false}};
    Picture Image5{reg_, "Image5", "TabSheet3", {.visible = false}};
};

}  // namespace talvenor
