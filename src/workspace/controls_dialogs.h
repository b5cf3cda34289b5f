#pragma once
// The open and save dialogs of the main window. Each remembers its type list, the type
// last chosen and its file name between uses; the Host shows the dialog itself. The type
// lists are the program's own texts, blanks and odd separators included, because the
// chosen type index decides the format.
#include "workspace/control_kinds.h"

namespace talvenor {

struct DialogControls {
    explicit DialogControls(ControlRegistry* registry) : reg_(registry) {}
    ControlRegistry* const reg_;

    // Input: type 1 AVI, 2 BMP, 3 FIT, 4 JPG, 5 TIF; start-up preselects the last type used.
    FileDialog AddBitmapDialog{reg_, "AddBitmapDialog", "MainForm",
                               {.filter = "Video (*.avi, *.ser)|*.avi;*.ser|Still frame(s) (*.bmp)|*.bmp;|Fit frame(s) (*.fit)|*.fit; "
                                          "*.fits;*.fts;*.fits.gz;*.fit.gz|Still frame(s) (*.jpg)|*.jpg|Tiff frame(s)(*.tif)|*.tif; *.tiff|"
                                          "PNG frame(s) (*.png)|*.png",
                                .filterIndex = 1,
                                .multiSelect = true}};
    // Dark frame and flat field: the type index is stored as the calibration file type.
    FileDialog OpenDialog{reg_, "OpenDialog", "MainForm",
                          {.filter = "bitmap 24bits (*.bmp)|*.bmp|special talvenor fits|*.fitr;|fits|*.fit; *.fits",
                           .filterIndex = 1}};
    FileDialog OpenDialog1{reg_, "OpenDialog1", "MainForm", {.filter = "Talvenor Framelist|*.rfl", .defaultExt = "rfl"}};
    FileDialog SaveDialog2{reg_, "SaveDialog2", "MainForm", {.filter = "Talvenor Frame list|*.rfl", .defaultExt = "rfl"}};

    // Results.
    FileDialog SaveDialog1{reg_, "SaveDialog1", "MainForm",
                           {.filter = "BMP|*.BMP|JPEG|*.JPG|FIT (16-bit)|*.FIT|FIT (32-bit)|*.FIT|Special Talvenor "
                                      "Fits|*.FITR|TIFF|*.tif|PNG|*.png",
                            .filterIndex = 1,
                            .defaultExt = "bmp"}};
    FileDialog WaveletSave{reg_, "WaveletSave", "MainForm",
                           {.filter = "BMP (8BIT*RGB)|*.bmp|JPEG(8BIT*RGB)|*.JPG|FIT (16BIT) RGB separate |*.FIT|TIFF(16BIT "
                                      "*RGB)|*.TIF|PNG|*.png",
                            .filterIndex = 1}};
    FileDialog SaveDialog4{reg_, "SaveDialog4", "MainForm",
                           {.filter = "Bitmap (*.bmp)|*.bmp|Jpeg (*.jpg)|*.jpg|PNG (*.png)|*.png",
                            .filterIndex = 1,
                            .defaultExt = "BMP"}};

    // Projects (type 1 project, type 2 frame list when loading) and wavelet filter files.
    FileDialog SaveDialog3{reg_, "SaveDialog3", "MainForm", {.filter = "Talvenor Projectfile|*.rsp", .defaultExt = "rsp"}};
    FileDialog OpenDialog2{reg_, "OpenDialog2", "MainForm",
                           {.filter = "Talvenor Project File|*.rsp|Talvenor Frame List|*.rfl|"
                                      "Talvenor Result Image|*.fit;*.fits;*.fts;*.fitr;*.tif;*.tiff;*.jpg;*.jpeg;*.png",
                            .filterIndex = 1}};
    FileDialog SaveDialog5{reg_, "SaveDialog5", "MainForm", {.filter = "Talvenor Filter|*.rsf", .defaultExt = "rsf"}};
    FileDialog OpenDialog3{reg_, "OpenDialog3", "MainForm", {.filter = "Talvenor Filter|*.rsf"}};
};

}  // namespace talvenor
