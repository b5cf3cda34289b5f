#include "imagefiles/recipe.h"

#include <algorithm>
#include <vector>

#include "imagefiles/file_kind.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_ifd.h"
#include "workspace/error.h"
#include "workspace/file_bytes.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCardBytes = 80;
// HISTORY cards, which every FITS reader passes over quietly: "RCP: " starts a recipe line,
// "RCP+ " continues it; the text takes columns 14 .. 80.
constexpr std::string_view kLineKey = "HISTORY RCP: ";
constexpr std::string_view kMoreKey = "HISTORY RCP+ ";
constexpr std::size_t kTextColumns = kCardBytes - kLineKey.size();
constexpr std::string_view kLineEnd = "\r\n";

bool Printable(unsigned char c) { return c >= 32 && c <= 126; }

// Whether byte `c` goes as an escape at position `at` of a card's text holding `count` bytes.
bool Escaped(unsigned char c, std::size_t at, std::size_t count) {
    if (c == '\\' || !Printable(c)) return true;
    if (at == 0 && c == '=') return true;
    return at + 1 == count && c == ' ';
}

void AppendEscape(std::string& out, unsigned char c) {
    constexpr char kHex[] = "0123456789ABCDEF";
    out += '\\';
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

// The longest start of `rest` whose card text fits in the card (at least one byte).
std::size_t PieceLength(std::string_view rest) {
    std::size_t best = 0, columns = 0;  // columns of the bytes before the one considered
    for (std::size_t n = 1; n <= rest.size(); ++n) {
        const unsigned char last = static_cast<unsigned char>(rest[n - 1]);
        // With `last` as the final byte its own cost follows the end-of-card rule.
        if (columns + (Escaped(last, n - 1, n) ? 3 : 1) <= kTextColumns) best = n;
        columns += Escaped(last, n - 1, n + 1) ? 3 : 1;
        if (columns > kTextColumns) break;
    }
    return best == 0 ? 1 : best;
}

void AppendCard(std::string& cards, std::string_view key, std::string_view piece) {
    std::string card(key);
    for (std::size_t i = 0; i < piece.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(piece[i]);
        if (Escaped(c, i, piece.size())) AppendEscape(card, c);
        else card += char(c);
    }
    card.resize(kCardBytes, ' ');
    cards += card;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The text columns of a card with the blank padding cut off and the escapes decoded.
std::string CardText(std::string_view card, std::size_t number, const std::string& name) {
    std::string_view text = card.substr(kLineKey.size());
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        const int hi = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int lo = hi >= 0 ? HexDigit(text[i + 2]) : -1;
        if (lo < 0)
            throw Error(name + ": header card " + std::to_string(number) + " has a broken escape in its recipe text");
        out += char(hi << 4 | lo);
        i += 2;
    }
    return out;
}

std::optional<std::string> TiffRecipe(const std::vector<uint8_t>& bytes, const std::string& name) {
    TIFD ifd;
    try {
        ifd = TIFD::Parse(bytes.data(), bytes.size());
    } catch (const Error& e) {
        throw Error(name + ": " + e.what());
    }
    if (!ifd.HasDescription) return std::nullopt;
    if (ifd.DescriptionType != 2)
        throw Error(name + ": ImageDescription has field type " + std::to_string(ifd.DescriptionType) + ", not text");
    if (ifd.DescriptionOffset > bytes.size() || ifd.DescriptionCount > bytes.size() - ifd.DescriptionOffset)
        throw Error(name + ": ImageDescription (" + std::to_string(ifd.DescriptionCount) + " bytes at offset " +
                    std::to_string(ifd.DescriptionOffset) + ") lies past the end of the file (" +
                    std::to_string(bytes.size()) + " bytes)");
    std::string text(reinterpret_cast<const char*>(bytes.data()) + ifd.DescriptionOffset, ifd.DescriptionCount);
    // The text ends at its NUL terminator.
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    if (text.empty()) return std::nullopt;
    return text;
}

}  // namespace

std::string RecipeCards(std::string_view recipe) {
    std::string cards;
    while (!recipe.empty()) {
        const std::size_t end = recipe.find(kLineEnd);
        std::string_view line = recipe.substr(0, end);
        recipe.remove_prefix(end == std::string_view::npos ? recipe.size() : end + kLineEnd.size());
        std::string_view key = kLineKey;
        do {  // an empty line still takes its card
            const std::size_t n = line.empty() ? 0 : PieceLength(line);
            AppendCard(cards, key, line.substr(0, n));
            line.remove_prefix(n);
            key = kMoreKey;
        } while (!line.empty());
    }
    return cards;
}

std::optional<std::string> RecipeFromCards(std::span<const uint8_t> header, std::string_view fileName) {
    const std::string name(fileName);
    const char* text = reinterpret_cast<const char*>(header.data());
    std::string recipe;
    bool found = false;
    for (std::size_t i = 0; i + kCardBytes <= header.size(); i += kCardBytes) {
        const std::string_view card(text + i, kCardBytes);
        const std::size_t number = i / kCardBytes + 1;
        if (card.starts_with("END") && Trim(card.substr(0, 8)) == "END") break;
        if (card.starts_with(kLineKey)) {
            recipe += CardText(card, number, name);
            recipe += kLineEnd;
            found = true;
        } else if (card.starts_with(kMoreKey)) {
            if (!found)
                throw Error(name + ": header card " + std::to_string(number) +
                            " continues a recipe line that never started");
            recipe.resize(recipe.size() - kLineEnd.size());  // the line goes on
            recipe += CardText(card, number, name);
            recipe += kLineEnd;
        }
    }
    if (!found) return std::nullopt;
    return recipe;
}

std::optional<std::string> ReadRecipe(const fs::path& file) {
    const std::string name = file.string();
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    const std::string_view head(reinterpret_cast<const char*>(bytes.data()), std::min<std::size_t>(bytes.size(), 16));
    switch (DetectFileKind(head)) {
        case FileKind::Fits: {
            const FitsHeader h = ParseFitsHeader(bytes, name);
            return RecipeFromCards(std::span(bytes).first(std::size_t(h.CardCount) * kCardBytes), name);
        }
        case FileKind::Tiff: return TiffRecipe(bytes, name);
        case FileKind::Jpeg: {
            std::string comment = JpegComment(bytes);
            if (comment.empty()) return std::nullopt;
            return comment;
        }
        case FileKind::Png: {
            std::optional<std::string> text = PngDescription(bytes, name);
            if (!text || text->empty()) return std::nullopt;
            return text;
        }
        default: break;
    }
    // A file named as a result type that is not one is damaged, not merely without a recipe.
    const std::string ext = ToLower(file.extension().string());
    if (ext == ".fit" || ext == ".fits" || ext == ".fts" || ext == ".fitr")
        throw Error(name + ": not a FITS file (the header does not start with SIMPLE)");
    if (ext == ".tif" || ext == ".tiff") throw Error(name + ": Invalid TIFF header");
    if (ext == ".jpg" || ext == ".jpeg") throw Error(name + ": not a JPEG file (it does not start with FF D8 FF)");
    if (ext == ".png") throw Error(name + ": not a PNG file (it does not start with the PNG signature)");
    return std::nullopt;
}

bool IsRecipeImageName(const fs::path& file) {
    const std::string ext = ToLower(file.extension().string());
    return ext == ".fit" || ext == ".fits" || ext == ".fts" || ext == ".fitr" || ext == ".tif" || ext == ".tiff" ||
           ext == ".jpg" || ext == ".jpeg" || ext == ".png";
}

std::string RequireRecipe(const fs::path& file) {
    fs::path source = file;
    std::error_code ec;
    const std::string ext = ToLower(file.extension().string());
    // Only FITS results are split into channel files.
    const bool fits = ext == ".fit" || ext == ".fits" || ext == ".fts" || ext == ".fitr";
    if (!fs::exists(file, ec) && fits) {
        fs::path base = file;
        base.replace_extension();
        // A colour fixed-point stack is written as .fit channel files.
        bool found = false;
        for (const std::string& extension : {file.extension().string(), std::string(".fit")})
            for (const char* channel : {"_R", "_G", "_B"}) {
                const fs::path candidate = base.string() + channel + extension;
                if (!found && fs::exists(candidate, ec)) {
                    source = candidate;
                    found = true;
                }
            }
    }
    if (!fs::exists(source, ec)) throw Error(file.string() + ": the file does not exist");
    std::optional<std::string> recipe = ReadRecipe(source);
    if (!recipe) throw Error(source.string() + ": the image carries no recipe, so there is no project to open");
    return std::move(*recipe);
}

}  // namespace talvenor
