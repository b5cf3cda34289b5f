#pragma once
// Opening a sequence: an AVI or still images chosen in the input dialog, or files dropped
// on the window. The workspace is reset for the new sequence, the frame table and the frame
// list are built and the first frame is shown.
#include <string>
#include <vector>

#include "session/session.h"

namespace talvenor {

// The accepted still-image extensions, lower case: .bmp .jpg .fit .fts .fits .tif .tiff
bool IsAcceptedImage(const std::string& path);
// The video extensions, any case: .avi .ser
bool IsVideoFile(const std::string& path);

// Opens an AVI or SER capture as the input dialog does (dropped on the window, or given on
// the command line).
void OpenVideoFile(Session& s, const std::string& file);

// The reset done when a new input replaces the one in hand: nothing of the old capture (its
// alignment, stack, processed and final pictures, their settings) stays.
void ResetForNewInput(Session& s);

// A new input from the dialog, a drop or the command line: refused with a message, leaving
// the work in hand untouched, when the files are missing or cannot be read (input_check.h);
// otherwise the reset and OpenInput. True when the input was opened.
bool ReplaceInput(Session& s, const std::vector<std::string>& files, int type, bool askFitsStretch = true);

// Colour processing (ColourStack and its mirror Colourprocess2) follows the sequence just
// opened, judged from its first frame: on for colour, off for grey (FITS frames are one
// plane, so grey unless demosaiced from a raw colour mosaic). The user may change it afterwards.
void FollowInputColour(Session& s);

// While the input dialog is open: an AVI the user highlights is shown at once.
void AddBitmapDialogSelectionChange(Session& s, const std::string& path);

// "Select input": the input dialog and everything that follows.
void SelectFileButtonClick(Session& s);

// Opens the given files as the dialog would with the given type (1 AVI, 2 BMP, 3 FIT,
// 4 JPG, 5 TIF), in the dialog's order. Used by the dialog path and the command line.
// A FITS series asks whether to stretch its levels unless `askFitsStretch` is false (a
// project being opened), when it stretches them.
void OpenInput(Session& s, const std::vector<std::string>& files, int type, bool askFitsStretch = true);

// Files dropped on the main window (only while the Input page is active).
void FilesDropped(Session& s, const std::vector<std::string>& files);

void RegisterInputHandlers(Session& s);

}  // namespace talvenor
