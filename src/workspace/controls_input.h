#pragma once
// The Input page: choosing the sequence, browsing and (de)selecting its frames, the
// options that must be settled before alignment (colour, processing area, box size,
// de-interlacing) and the dark frame / flat field.
#include "workspace/control_kinds.h"

namespace talvenor {

struct InputControls {
    explicit InputControls(ControlRegistry* registry) : reg_(registry) {}
    ControlRegistry* const reg_;

    // Before anything is opened the page shows its start panel; the working panel and the
    // box-size group appear with the first selection and hide again for a single still
    // image, which goes straight to the wavelet page.
    Panel Showpanel{reg_, "Showpanel", "TabSheet1", {}};
    Panel Frontpanel{reg_, "Frontpanel", "TabSheet1", {.visible = false}};

    Button SelectFileButton{reg_, "SelectFileButton", "TabSheet1", {.caption = "Select input", .hint = "Opens a video or a series of images"}};
    DirectoryList DirectoryListBox1{reg_, "DirectoryListBox1", "TabSheet1", {.hint = "Folder the input dialogs open in"}};

    RadioGroup FFTsizeGroup{reg_, "FFTsizeGroup", "TabSheet1",
                            {.caption = "Alignment box (pixels)", .visible = false,
                             .hint = "Side of the square box used to align the frames", .items = {"32", "64", "128", "256"}, .itemIndex = 1}};

    // Start-up collapses this panel every time, whatever the settings file says, so the
    // page opens uncluttered; the choices inside are still restored.
    Panel InitialOptionspanel{reg_, "InitialOptionspanel", "TabSheet1", {.caption = "Initial options"}};
    CheckBox ColourStack{reg_, "ColourStack", "InitialOptionspanel", {.caption = "Colour processing", .hint = "Processes the colour channels instead of luminance only"}};
    // LRGB only makes sense on colour input, so it follows ColourStack.
    CheckBox LRGB1{reg_, "LRGB1", "InitialOptionspanel", {.caption = "LRGB", .enabled = false, .hint = "Sharpens luminance only and keeps the colour as stacked"}};
    // Raw colour sensors: which 2 x 2 filter pattern the frames' mosaic has ("auto" reads it
    // from a SER or FITS header; a pattern chosen here also turns grey AVI frames into colour),
    // and how the missing colours are filled in.
    ComboBox BayerCombo{reg_, "BayerCombo", "InitialOptionspanel",
                        {.caption = "Bayer pattern",
                         .hint = "Filter pattern of a raw colour camera (auto: from the file)",
                         .items = {"none", "auto", "RGGB", "GRBG", "GBRG", "BGGR"}, .itemIndex = 1}};
    ComboBox DebayerCombo{reg_, "DebayerCombo", "InitialOptionspanel",
                          {.caption = "Debayering",
                           .hint = "How raw colour frames are made colour (edge keeps detail sharp)",
                           .items = {"bilinear", "edge"}, .itemIndex = 1}};
    ComboBox Processarea{reg_, "Processarea", "InitialOptionspanel",
                         {.caption = "Processing Area",
                          .hint = "Side of the area the wavelet page processes at once", .items = {"full", "2048", "1024", "512", "256", "128"},
                          .itemIndex = 3}};

    Panel DeInterlacepanel{reg_, "DeInterlacepanel", "TabSheet1", {.caption = "De-interlacing"}};
    CheckBox Interlaced{reg_, "Interlaced", "DeInterlacepanel", {.caption = "De-interlace", .hint = "Splits interlaced frames into their two fields"}};
    // Horizontal fields are rare (some line-scan cameras); the option stays out of sight.
    CheckBox InterlaceHoriz{reg_, "InterlaceHoriz", "DeInterlacepanel", {.caption = "Horizontal", .visible = false, .hint = "Splits fields by columns instead of rows"}};
    // The blanks after "odd lines" and "even lines" are part of the items.
    RadioGroup interlaceinterpolation{reg_, "interlaceinterpolation", "DeInterlacepanel",
                                      {.caption = "Interpolation",
                                       .hint = "Which lines of each field go into the stack", .items = {"none", "odd && even lines", "odd lines ", "even lines "},
                                       .itemIndex = 1}};

    // Calibration. A use box appears only once its image is loaded; the makers appear
    // once a sequence (of dark or flat exposures) is open.
    Panel Imageoptionspanel{reg_, "Imageoptionspanel", "TabSheet1", {.caption = "Image options"}};
    Button LoadDarkframe{reg_, "LoadDarkframe", "Imageoptionspanel", {.caption = "Load darkframe", .hint = "Loads a dark frame subtracted from every frame"}};
    CheckBox UseDarkFrame{reg_, "UseDarkFrame", "Imageoptionspanel", {.caption = "Use darkframe", .visible = false, .hint = "Subtracts the dark frame from every frame"}};
    Button CreateDarkframe{reg_, "CreateDarkframe", "Imageoptionspanel", {.caption = "Make Darkframe", .visible = false, .hint = "Averages the selected dark exposures into a dark frame"}};
    Button Flatfieldbutton{reg_, "Flatfieldbutton", "Imageoptionspanel", {.caption = "Load flatfield", .hint = "Loads a flat field every frame is divided by"}};
    CheckBox UseFlatfield{reg_, "UseFlatfield", "Imageoptionspanel", {.caption = "Use flatfield", .visible = false, .hint = "Divides every frame by the flat field"}};
    Button CreateFlatfield{reg_, "CreateFlatfield", "Imageoptionspanel", {.caption = "Make Flatfield", .visible = false, .hint = "Averages the selected flat exposures into a flat field"}};

    // The frame browser. The preview is shown at 1:1; the viewport is what the start-up
    // and stacking scroll rules (817 x 625, centred on the feature) are made for.
    Picture PreviewImage{reg_, "PreviewImage", "TabSheet1",
                         {.hint = "Point at alignment feature", .width = 817, .height = 625}};
    Slider PreviewSlider{reg_, "PreviewSlider", "TabSheet1",
                         {.caption = "Frame", .hint = "Frame shown; the space bar selects or excludes it", .value = 0, .minValue = 0, .maxValue = 0}};
    Label Frames{reg_, "Frames", "TabSheet1", {}};
    // Green selected, red excluded, grey dropped.
    Picture UseFramesign{reg_, "UseFramesign", "TabSheet1", {.visible = false, .width = 16, .height = 16}};
    Label Label9{reg_, "Label9", "TabSheet1", {}};
    CheckBox ShowFramelist{reg_, "ShowFramelist", "TabSheet1", {.caption = "Show frame list", .hint = "Shows the list of frames to select from"}};
    // Offered once "Align && stack" has produced a processed image to align on.
    CheckBox UseProcessed{reg_, "UseProcessed", "TabSheet1", {.caption = "Use Processed", .visible = false, .hint = "Aligns against the stacked image instead of one frame"}};
};

}  // namespace talvenor
