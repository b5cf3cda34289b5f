#pragma once
// Saving a result image: the stack, the processed picture, the final picture, the resized
// picture. Every save runs one sequence (where the dialog opens, where the choice is
// remembered, which name is written, whether an existing file is replaced, the caption
// afterwards); only the dialog, the formats of its types and the writer differ.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/session.h"

namespace talvenor {

enum class SaveFormat { Bmp, Jpeg, Fits, Tiff, Png };

// One save button's part of the sequence.
struct ResultSave {
    FileDialog* Dialog = nullptr;  // type list, last type and proposed name; remembers the choice
    std::string Title;
    // The format of each file type of the dialog, type 1 first; a type past the end (a
    // dialog that handed back something unexpected) writes the first.
    std::vector<SaveFormat> Formats;
    // "default" stands for an empty name or one that begins with "." (every save but the
    // stack's, whose name the user always types).
    bool DefaultName = false;
    // The caption shows the after-saving form at the end (every save but the final picture's).
    bool CaptionAfter = true;
    // Runs once the user has chosen a file, before anything is written.
    std::function<void(int type)> Chosen;
    // Runs once the file is settled, before the writer: the picture made ready to leave the
    // program (the whole image processed). False (the user cancelled that) writes nothing.
    std::function<bool()> Prepare;
    // Writes the file for this type at `path`; name and overwrite are settled by then.
    std::function<void(int type, const std::filesystem::path& path)> Write;
};

// The file a choice writes: BMP, JPEG, TIFF and PNG get their own extension in place of
// whatever was typed, FITS keeps the name as typed (its writer names the channel files).
std::filesystem::path SaveTargetPath(const std::filesystem::path& chosen, SaveFormat format, bool defaultName);

// Runs the sequence: the dialog (in the input folder's save subfolder when "Save to subdir"
// is checked, created when missing), the folder remembered as "Files"/"SaveDir", the name,
// " Overwrite existing file ?" for BMP, JPEG, TIFF and PNG, the preparation, the writer, the
// caption. Returns the file written, nothing when the user cancelled or kept the existing file
// (a cancelled preparation says that nothing was saved). A writer's error
// propagates and leaves the caption alone.
std::optional<std::filesystem::path> RunResultSave(Session& s, const ResultSave& save);

// Writes the top-left width x height of a 16-bit image as a 48-bit TIFF (the result images
// are allocated a pixel larger than the image each way), carrying `recipe` when given.
void SaveWideImage(const TTIFFBitMap& image, int width, int height, const std::filesystem::path& path,
                   std::string_view recipe = {}, SafeFileSet* set = nullptr);

// The save of the Wavelet Processing and Final pages: their shared dialog and its five types
// (BMP, JPEG, FITS, TIFF, PNG), "default" for an empty name. The caller adds the writer.
ResultSave PageSave(Session& s, std::string title);

// "Save" on the Wavelet Processing page, once the whole image is processed: the processed
// picture (without the area marks) as BMP or JPEG, the 16-bit result as FITS (one file per
// channel in colour), TIFF or PNG.
void SaveBMP2buttonClick(Session& s);

// "Save to subdir": the subfolder name shows while it is checked.
void SaveSubClick(Session& s);

void RegisterSaveHandlers(Session& s);

}  // namespace talvenor
