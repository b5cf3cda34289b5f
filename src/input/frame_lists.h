#pragma once
// Frame lists (.rfl): plain text, one full path per line, CR LF line ends. They save a
// selection of frames, open it again, add to it, sort it or start it afresh.
#include <optional>
#include <string>
#include <vector>

#include "workspace/app_context.h"

namespace talvenor {

// The series type from the end of a file name, in lower case: "jpg" JPEG, "fit"/"fts"/
// "fits" FITS (levels stretched, as no one is asked), "tif"/"tiff" TIFF, else BMP; sets the
// flags and InputType.
void SetSeriesTypeFromName(AppContext& c, const std::string& path);

// Image, source and unclamped sizes from the frame just loaded; above 4096 shows `tooLarge`
// and clamps the image and source sizes.
void SetSizesFromFirstFrame(AppContext& c, const std::string& tooLarge);

// Lines of a frame list file; either separator is accepted in the paths.
std::vector<std::string> ReadFrameListFile(const std::string& path);
// The lines of a list that is to be opened as the sequence: an error when it names no frames.
std::vector<std::string> ReadFrameListToOpen(const std::string& path);
// Writes the paths of the selected frames in frame order.
void WriteFrameListFile(const std::string& path, const std::vector<std::string>& lines);

// Opens a frame list as the sequence (append = false) or adds its frames to the list.
void LoadFrameList(AppContext& c, const std::string& path, bool append);
// The same with the list's lines already read (ReadFrameListFile), so a caller can find an
// unreadable or empty list before it lets go of the open sequence.
void LoadFrameList(AppContext& c, const std::string& path, const std::vector<std::string>& lines, bool append);

// The frame list the user picks in the open dialog; nothing when the dialog is cancelled.
std::optional<std::string> AskFrameListFile(AppContext& c, const std::string& title);

void FramelistsavebuttonClick(AppContext& c);
void AddFramesButtonClick(AppContext& c);
void BitBtn10Click(AppContext& c);  // "Empty List"
void FramelistSortbuttonClick(AppContext& c);

}  // namespace talvenor
