#pragma once
// Before a new input replaces the work in hand: what the chosen files are, and whether they
// can be read at all. A file that cannot become the input (a text file named .avi, a picture
// no reader decodes) is refused with the reader's reason while the open capture, its
// alignment and its results stay as they were.
#include <string>
#include <vector>

namespace talvenor {

// The input dialog's type of a file, by its name: 1 video (AVI, SER), 2 BMP, 3 FITS (also
// .fits.gz), 4 JPEG, 5 TIFF, 6 PNG; 0 for any other name.
int InputTypeOfFile(const std::string& path);

// The type to open a dialog's choice as: the first file's own type, so a name typed into the
// dialog opens as what it is whatever filter was showing; the filter's when the name says
// nothing.
int InputTypeForChoice(const std::vector<std::string>& files, int filterIndex);

// Empty when the files can become the input: a video whose first frame decodes, or a series
// of which at least one still decodes. Otherwise the reason, naming the file ("a.avi: not an
// AVI file ...").
std::string InputRefusal(const std::vector<std::string>& files, int type);

}  // namespace talvenor
