#pragma once
// The Final page: rotation, flips, global hue / saturation / lightness, the crop
// rectangle, the thumbnail, and the ways out (save, clipboard, resize).
#include "workspace/control_kinds.h"

namespace talvenor {

struct FinalControls {
    explicit FinalControls(ControlRegistry* registry) : reg_(registry) {}
    ControlRegistry* const reg_;

    // Three ways to set the angle: typed, in 15-degree steps, or on the rotary switch in
    // 10-degree steps. The spin holds the angle actually used.
    SpinEdit RxSpinEdit4{reg_, "RxSpinEdit4", "TabSheet5",
                         {.caption = "Angle", .hint = "Rotation of the final image in degrees", .value = 0, .minValue = -360, .maxValue = 360, .decimals = 1}};
    ComboBox ComboBox2{reg_, "ComboBox2", "TabSheet5",
                       {.caption = "Angle step", .hint = "Sets the angle in 15-degree steps", .items = {"0", "15", "30", "45", "60", "75", "90", "105", "120", "135", "150", "165", "180",
                                  "195", "210", "225", "240", "255", "270", "285", "300", "315", "330", "345", "360"},
                        .itemIndex = 0}};
    Slider ASSwitcher1{reg_, "ASSwitcher1", "TabSheet5", {.caption = "deg. x 10", .hint = "Sets the angle in 10-degree steps", .value = 0, .minValue = 0, .maxValue = 36}};
    CheckBox FlipX{reg_, "FlipX", "TabSheet5", {.caption = "Flip X", .hint = "Mirrors the final image left to right"}};
    CheckBox FlipY{reg_, "FlipY", "TabSheet5", {.caption = "Flip Y", .hint = "Mirrors the final image top to bottom"}};

    // Global shifts: hue in degrees, saturation and lightness on the 0..255 scale.
    Label Huelabel{reg_, "Huelabel", "TabSheet5", {.caption = "Hue        :0"}};
    Slider HueSlider{reg_, "HueSlider", "TabSheet5", {.hint = "Shifts the hue of the whole image", .value = 0, .minValue = -100, .maxValue = 100}};
    Label Satlabel{reg_, "Satlabel", "TabSheet5", {.caption = "Saturation :0"}};
    Slider SaturationSlider{reg_, "SaturationSlider", "TabSheet5", {.hint = "Raises or lowers the saturation of the whole image", .value = 0, .minValue = -50, .maxValue = 50}};
    Label Lightlabel{reg_, "Lightlabel", "TabSheet5", {.caption = "lightness  :0"}};
    Slider Lightnessslider{reg_, "Lightnessslider", "TabSheet5", {.hint = "Raises or lowers the lightness of the whole image", .value = 0, .minValue = -100, .maxValue = 100}};
    Button Button7{reg_, "Button7", "TabSheet5", {.caption = "Reset HSL", .hint = "Returns hue, saturation, lightness and their curves to neutral"}};
    CheckBox HoldFinal{reg_, "HoldFinal", "TabSheet5", {.caption = "Hold final settings", .hint = "Keeps the angle, flips, colour and curves when a new input is opened"}};
    CheckBox AdvancedHLS{reg_, "AdvancedHLS", "TabSheet5", {.caption = "Advanced HSL", .hint = "Shows the hue, saturation and lightness curves"}};

    // Appears once the user has drawn a crop rectangle.
    CheckBox Cropping{reg_, "Cropping", "TabSheet5", {.caption = "Use crop", .visible = false, .hint = "Saves and copies only the rectangle drawn on the image"}};
    Label Croppedarea{reg_, "Croppedarea", "TabSheet5", {.caption = "."}};

    Button BitBtn8{reg_, "BitBtn8", "TabSheet5", {.caption = "Save ", .hint = "Saves the final image"}};
    Button BitBtn9{reg_, "BitBtn9", "TabSheet5", {.caption = "Clipboard", .hint = "Copies the final image to the clipboard"}};
    Button Shrink{reg_, "Shrink", "TabSheet5", {.caption = "Resize", .hint = "Opens a resized view of the final image to judge or save"}};
    // Results go to a subdirectory of the input directory when asked; its name is only
    // editable while the option is on.
    CheckBox SaveSub{reg_, "SaveSub", "TabSheet5", {.caption = "Save to subdir", .hint = "Saves results to a subfolder of the input folder"}};
    Edit Subdirname{reg_, "Subdirname", "TabSheet5", {.caption = "Subfolder", .visible = false, .hint = "Name of the subfolder results are saved to", .text = "processed"}};

    // The visible part of the final view is what the thumbnail outlines (777 x 689).
    ScrollBox EventScrollBox1{reg_, "EventScrollBox1", "TabSheet5", {}};
    Picture RotateImage{reg_, "RotateImage", "TabSheet5", {.width = 777, .height = 689, .scroller = &EventScrollBox1}};
    Picture Overview{reg_, "Overview", "TabSheet5", {.width = 150, .height = 150}};
    // Unflipped copy of the rendered picture; also the stacker's resample scratch.
    Picture Image3{reg_, "Image3", "TabSheet5", {.visible = false}};
};

}  // namespace talvenor
