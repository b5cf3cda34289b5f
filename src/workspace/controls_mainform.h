#pragma once
// The frame of the main window: the page control and its six pages, the workspace
// buttons, the floating tool windows with their stored default positions, and the
// windows that belong to no page (progress, hints, memory).
#include "workspace/control_kinds.h"
#include "workspace/pass_progress.h"

namespace talvenor {

struct MainFormControls {
    explicit MainFormControls(ControlRegistry* registry) : reg_(registry) {}
    ControlRegistry* const reg_;

    PageControl PageControl1{reg_, "PageControl1", "MainForm", {}};
    TabSheet TabSheet1{reg_, "TabSheet1", "PageControl1", {.caption = "Input"}};
    TabSheet TabSheet2{reg_, "TabSheet2", "PageControl1", {.caption = "Aligning", .tabVisible = false}};
    TabSheet TabSheet3{reg_, "TabSheet3", "PageControl1", {.caption = "Stacking", .tabVisible = false}};
    TabSheet TabSheet4{reg_, "TabSheet4", "PageControl1", {.caption = "Wavelet Processing", .tabVisible = false}};
    TabSheet TabSheet5{reg_, "TabSheet5", "PageControl1", {.caption = "Final", .tabVisible = false}};
    TabSheet TabSheet6{reg_, "TabSheet6", "PageControl1", {.caption = "Error-reporting"}};

    Button BitBtn1{reg_, "BitBtn1", "MainForm", {.caption = "Help", .hint = "Shows or hides help on the current page"}};
    Button BitBtn2{reg_, "BitBtn2", "MainForm", {.caption = "Cancel", .hint = "Stops the running operation (asks first)"}};
    Button SaveProject{reg_, "SaveProject", "MainForm", {.caption = "Save", .hint = "Saves the work so far as a project"}};
    Button LoadProject{reg_, "LoadProject", "MainForm", {.caption = "Project Load", .hint = "Opens a saved project or frame list"}};
    Button BitBtn6{reg_, "BitBtn6", "MainForm", {.caption = "Memory", .hint = "Shows how much memory the program uses"}};
    Button BitBtn7{reg_, "BitBtn7", "MainForm", {.caption = "Save as", .hint = "Saves the project under a new name"}};

    // Tool windows, with the positions they take when the settings file has none.
    ToolWindow SelectFrameswindow{reg_, "SelectFrameswindow", "", {.caption = "Frame list", .left = 206, .top = 152, .width = 260, .height = 420}};
    ToolWindow FFTWindow{reg_, "FFTWindow", "", {.caption = "FFT spectrum 128x128", .left = 82, .top = 280, .width = 140, .height = 140}};
    ToolWindow Propertywindow{reg_, "Propertywindow", "", {.caption = "Registration properties", .left = 226, .top = 334, .width = 320, .height = 260}};
    ToolWindow Stackframeswindow{reg_, "Stackframeswindow", "", {.caption = "Stackframes", .left = 168, .top = 136, .width = 260, .height = 420}};
    ToolWindow HistoWindow{reg_, "HistoWindow", "", {.caption = "Histogram", .left = 16, .top = 286, .width = 300, .height = 300}};
    ToolWindow GammaWindow{reg_, "GammaWindow", "", {.caption = "Gamma", .left = 198, .top = 170, .width = 280, .height = 360}};
    ToolWindow Denoisewindow{reg_, "Denoisewindow", "", {.caption = "Noise reduction window", .left = 408, .top = 344, .width = 320, .height = 300}};
    ToolWindow FilterWindow{reg_, "FilterWindow", "", {.caption = "Wavelet Filter", .left = 398, .top = 356, .width = 300, .height = 220}};
    ToolWindow RGBShiftWindow{reg_, "RGBShiftWindow", "", {.caption = "RGB-Shift", .left = 272, .top = 184, .width = 260, .height = 220}};
    ToolWindow HLSWindow{reg_, "HLSWindow", "", {.caption = "HSL curves", .left = 608, .top = 144, .width = 400, .height = 420}};
    ToolWindow Shrinkview{reg_, "Shrinkview", "", {.caption = "Resized image", .left = 252, .top = 148, .width = 500, .height = 400}};
    ToolWindow MessageWindow{reg_, "MessageWindow", "", {.caption = "Progress ", .left = 456, .top = 268, .width = 260, .height = 150}};
    ToolWindow HintWindow{reg_, "HintWindow", "", {.caption = "Hints", .left = 560, .top = 80, .width = 440, .height = 520}};
    ToolWindow memorywindow{reg_, "memorywindow", "", {.caption = "Memory window", .left = 300, .top = 200, .width = 360, .height = 200}};

    // Progress window content.
    Label MessageWinlabel{reg_, "MessageWinlabel", "MessageWindow", {}};
    Gauge Progressgraph{reg_, "Progressgraph", "MessageWindow", {}};
    Label Messagewinlabel2{reg_, "Messagewinlabel2", "MessageWindow", {}};
    Button ProgressCancel{reg_, "ProgressCancel", "MessageWindow",
                          {.caption = "Cancel", .hint = "Stops the running operation after the frame in hand"}};
    // The same progress as the status bar tells it (counts, rate, time left).
    PassProgress StatusProgress;

    // Help text and the memory report.
    Memo Hintsmemo{reg_, "Hintsmemo", "HintWindow", {}};
    Memo Memo1{reg_, "Memo1", "memorywindow", {}};

    // Error-reporting page.
    Label logolabel{reg_, "logolabel", "TabSheet6", {}};
    Label RxLabel3{reg_, "RxLabel3", "TabSheet6", {}};
    Label Label38{reg_, "Label38", "TabSheet6", {}};
};

}  // namespace talvenor
