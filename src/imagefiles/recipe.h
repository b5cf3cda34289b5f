#pragma once
// The recipe of a result image: the project text of the work that made it, carried inside the
// FITS, TIFF, JPEG and PNG files Talvenor writes, so that a result can be opened again as a
// project.
//
// FITS keeps it in commentary cards any FITS tool shows as text. A recipe line starts on a
// HISTORY card marked "RCP: "; a line longer than the 67 text columns of one card goes on over
// HISTORY cards marked "RCP+ ".
// Columns 9 to 80 hold the text. So that every card reads back exactly, a few bytes are
// written as a backslash and two hex digits: the backslash itself, bytes outside printable
// ASCII, a space at the end of a card (blank padding would swallow it) and an "=" at the start
// of one ("= " in columns 9 and 10 would make the card a keyword with a value).
// TIFF keeps it as it is in the ImageDescription tag, JPEG in its comment (COM) segments,
// PNG in a "Description" text chunk.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace talvenor {

// The header cards (80 bytes each, concatenated) that carry `recipe`, one line after another;
// lines end in "\r\n", and a last line without one reads back with it. Empty: no cards.
std::string RecipeCards(std::string_view recipe);

// The recipe of the header cards in `header` (up to the END card); nothing when there are no
// recipe cards. Throws Error starting with `name` for a continuation without a line to go on
// or a broken escape.
std::optional<std::string> RecipeFromCards(std::span<const uint8_t> header, std::string_view name);

// The recipe a result file carries: FITS cards joined back, a TIFF's ImageDescription, a
// JPEG's comment or a PNG's "Description" text. Nothing for files of another kind or without
// a recipe; a malformed or unreadable FITS, TIFF or PNG file, or a file named as a result type
// that is none, is an Error naming the file.
std::optional<std::string> ReadRecipe(const std::filesystem::path& file);

// Whether the name is that of a result image that may carry a recipe (.fit, .fits, .fts,
// .fitr (the fixed-point stack), .tif, .tiff, .jpg, .jpeg, .png).
bool IsRecipeImageName(const std::filesystem::path& file);

// The recipe of a result opened as a project. A colour result is written as NAME_R, NAME_G
// and NAME_B.fit, each carrying the recipe; NAME.fit (or NAME.fitr, the name given to the
// save of a colour fixed-point stack) stands for them when it does not exist itself. Throws Error naming the file when it is missing, malformed or carries no recipe.
std::string RequireRecipe(const std::filesystem::path& file);

}  // namespace talvenor
