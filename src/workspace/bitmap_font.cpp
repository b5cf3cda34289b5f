#include "workspace/bitmap_font.h"

#include <cstddef>
#include <string_view>

namespace talvenor {
namespace {

// The glyphs are drawn here as they appear on screen, eight to a block: '#' is ink, '.' is
// background, and a single space separates neighbouring glyphs. Keeping the art visible is
// what makes the font editable; the table is turned into bit rows at compile time.
struct GlyphBlock {
    std::u32string_view chars;
    const char* rows[BitmapFont::kCellHeight];
};

// The last block ends with the box drawn for characters the font lacks (U+FFFD).
constexpr GlyphBlock kBlocks[] = {
    {U" !\"#$%&'",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "..... ..#.. .#.#. .#.#. ..#.. ##... .##.. ..#..",
     "..... ..#.. .#.#. .#.#. .#### ##..# #..#. ..#..",
     "..... ..#.. .#.#. ##### #.#.. ...#. #.#.. .#...",
     "..... ..#.. ..... .#.#. .###. ..#.. .#... .....",
     "..... ..#.. ..... ##### ..#.# .#... #.#.# .....",
     "..... ..... ..... .#.#. ####. #..## #..#. .....",
     "..... ..#.. ..... .#.#. ..#.. ...## .##.# .....",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "..... ..... ..... ..... ..... ..... ..... ....."},
    {U"()*+,-./",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "...#. .#... ..... ..... ..... ..... ..... ....#",
     "..#.. ..#.. ..#.. ..#.. ..... ..... ..... ....#",
     ".#... ...#. #.#.# ..#.. ..... ..... ..... ...#.",
     ".#... ...#. .###. ##### ..... ##### ..... ..#..",
     ".#... ...#. #.#.# ..#.. ..... ..... ..... .#...",
     "..#.. ..#.. ..#.. ..#.. .##.. ..... .##.. #....",
     "...#. .#... ..... ..... .##.. ..... .##.. #....",
     "..... ..... ..... ..... ..#.. ..... ..... .....",
     "..... ..... ..... ..... .#... ..... ..... ....."},
    {U"01234567",
     "..... ..... ..... ..... ..... ..... ..... .....",
     ".###. ..#.. .###. ##### ...#. ##### ..##. #####",
     "#...# .##.. #...# ...#. ..##. #.... .#... ....#",
     "#..## ..#.. ....# ..#.. .#.#. ####. #.... ...#.",
     "#.#.# ..#.. ...#. ...#. #..#. ....# ####. ..#..",
     "##..# ..#.. ..#.. ....# ##### ....# #...# .#...",
     "#...# ..#.. .#... #...# ...#. #...# #...# .#...",
     ".###. .###. ##### .###. ...#. .###. .###. .#...",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "..... ..... ..... ..... ..... ..... ..... ....."},
    {U"89:;<=>?",
     "..... ..... ..... ..... ..... ..... ..... .....",
     ".###. .###. ..... ..... ...#. ..... .#... .###.",
     "#...# #...# .##.. .##.. ..#.. ..... ..#.. #...#",
     "#...# #...# .##.. .##.. .#... ##### ...#. ....#",
     ".###. .#### ..... ..... #.... ..... ....# ...#.",
     "#...# ....# ..... ..... .#... ##### ...#. ..#..",
     "#...# ...#. .##.. .##.. ..#.. ..... ..#.. .....",
     ".###. .##.. .##.. .##.. ...#. ..... .#... ..#..",
     "..... ..... ..... ..#.. ..... ..... ..... .....",
     "..... ..... ..... .#... ..... ..... ..... ....."},
    {U"@ABCDEFG",
     "..... ..... ..... ..... ..... ..... ..... .....",
     ".###. .###. ####. .###. ###.. ##### ##### .###.",
     "#...# #...# #...# #...# #..#. #.... #.... #...#",
     "....# #...# #...# #.... #...# #.... #.... #....",
     ".##.# #...# ####. #.... #...# ####. ####. #.###",
     "#.#.# ##### #...# #.... #...# #.... #.... #...#",
     "#.#.# #...# #...# #...# #..#. #.... #.... #...#",
     ".###. #...# ####. .###. ###.. ##### #.... .####",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "..... ..... ..... ..... ..... ..... ..... ....."},
    {U"HIJKLMNO",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "#...# .###. ..### #...# #.... #...# #...# .###.",
     "#...# ..#.. ...#. #..#. #.... ##.## #...# #...#",
     "#...# ..#.. ...#. #.#.. #.... #.#.# ##..# #...#",
     "##### ..#.. ...#. ##... #.... #.#.# #.#.# #...#",
     "#...# ..#.. ...#. #.#.. #.... #...# #..## #...#",
     "#...# ..#.. #..#. #..#. #.... #...# #...# #...#",
     "#...# .###. .##.. #...# ##### #...# #...# .###.",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "..... ..... ..... ..... ..... ..... ..... ....."},
    {U"PQRSTUVW",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "####. .###. ####. .#### ##### #...# #...# #...#",
     "#...# #...# #...# #.... ..#.. #...# #...# #...#",
     "#...# #...# #...# #.... ..#.. #...# #...# #...#",
     "####. #...# ####. .###. ..#.. #...# #...# #.#.#",
     "#.... #.#.# #.#.. ....# ..#.. #...# #...# #.#.#",
     "#.... #..#. #..#. ....# ..#.. #...# .#.#. #.#.#",
     "#.... .##.# #...# ####. ..#.. .###. ..#.. .#.#.",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "..... ..... ..... ..... ..... ..... ..... ....."},
    {U"XYZ[\\]^_",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "#...# #...# ##### .###. #.... .###. ..#.. .....",
     "#...# #...# ....# .#... #.... ...#. .#.#. .....",
     ".#.#. .#.#. ...#. .#... .#... ...#. #...# .....",
     "..#.. ..#.. ..#.. .#... ..#.. ...#. ..... .....",
     ".#.#. ..#.. .#... .#... ...#. ...#. ..... .....",
     "#...# ..#.. #.... .#... ....# ...#. ..... .....",
     "#...# ..#.. ##### .###. ....# .###. ..... .....",
     "..... ..... ..... ..... ..... ..... ..... #####",
     "..... ..... ..... ..... ..... ..... ..... ....."},
    {U"`abcdefg",
     "..... ..... ..... ..... ..... ..... ..... .....",
     ".#... ..... #.... ..... ....# ..... ..##. .....",
     "..#.. ..... #.... ..... ....# ..... .#..# .....",
     "..... .###. #.##. .###. .##.# .###. .#... .####",
     "..... ....# ##..# #.... #..## #...# ###.. #...#",
     "..... .#### #...# #.... #...# ##### .#... #...#",
     "..... #...# #...# #...# #...# #.... .#... #...#",
     "..... .#### ####. .###. .#### .###. .#... .####",
     "..... ..... ..... ..... ..... ..... ..... ....#",
     "..... ..... ..... ..... ..... ..... ..... .###."},
    {U"hijklmno",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "#.... ..#.. ...#. #.... .##.. ..... ..... .....",
     "#.... ..... ..... #.... ..#.. ..... ..... .....",
     "#.##. .##.. ..##. #..#. ..#.. ##.#. #.##. .###.",
     "##..# ..#.. ...#. #.#.. ..#.. #.#.# ##..# #...#",
     "#...# ..#.. ...#. ##... ..#.. #.#.# #...# #...#",
     "#...# ..#.. ...#. #.#.. ..#.. #.#.# #...# #...#",
     "#...# .###. ...#. #..#. .###. #.#.# #...# .###.",
     "..... ..... #..#. ..... ..... ..... ..... .....",
     "..... ..... .##.. ..... ..... ..... ..... ....."},
    {U"pqrstuvw",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "..... ..... ..... ..... .#... ..... ..... .....",
     "..... ..... ..... ..... .#... ..... ..... .....",
     "####. .#### #.##. .#### ###.. #...# #...# #...#",
     "#...# #...# ##..# #.... .#... #...# #...# #...#",
     "#...# #...# #.... .###. .#... #...# #...# #.#.#",
     "#...# #...# #.... ....# .#..# #..## .#.#. #.#.#",
     "####. .#### #.... ####. ..##. .##.# ..#.. .#.#.",
     "#.... ....# ..... ..... ..... ..... ..... .....",
     "#.... ....# ..... ..... ..... ..... ..... ....."},
    {U"xyz{|}~\u00B0",
     "..... ..... ..... ..... ..... ..... ..... .....",
     "..... ..... ..... ...#. ..#.. .#... ..... .##..",
     "..... ..... ..... ..#.. ..#.. ..#.. ..... #..#.",
     "#...# #...# ##### ..#.. ..#.. ..#.. .#... #..#.",
     ".#.#. #...# ...#. .#... ..#.. ...#. #.#.# .##..",
     "..#.. #...# ..#.. ..#.. ..#.. ..#.. ...#. .....",
     ".#.#. #...# .#... ..#.. ..#.. ..#.. ..... .....",
     "#...# .#### ##### ...#. ..#.. .#... ..... .....",
     "..... ....# ..... ..... ..#.. ..... ..... .....",
     "..... .###. ..... ..... ..... ..... ..... ....."},
    {U"\u00B5\uFFFD",
     "..... .....",
     "..... #####",
     "..... #...#",
     "#...# #...#",
     "#...# #...#",
     "#...# #...#",
     "#..## #...#",
     "###.# #####",
     "#.... .....",
     "#.... ....."},
};

struct Glyph {
    char32_t code = 0;
    BitmapFont::Rows rows{};
};

constexpr std::size_t CountGlyphs() {
    std::size_t n = 0;
    for (const GlyphBlock& block : kBlocks) n += block.chars.size();
    return n;
}

constexpr int kArtWidth = BitmapFont::kCellWidth - 1;

// Throwing during constant evaluation turns malformed art into a compile error.
constexpr std::array<Glyph, CountGlyphs()> BuildGlyphs() {
    std::array<Glyph, CountGlyphs()> glyphs{};
    std::size_t next = 0;
    for (const GlyphBlock& block : kBlocks) {
        const std::size_t width = block.chars.size() * (kArtWidth + 1) - 1;
        for (int r = 0; r < BitmapFont::kCellHeight; ++r) {
            if (std::string_view(block.rows[r]).size() != width) throw "glyph row of the wrong width";
        }
        for (std::size_t i = 0; i < block.chars.size(); ++i) {
            Glyph& glyph = glyphs[next + i];
            glyph.code = block.chars[i];
            for (int r = 0; r < BitmapFont::kCellHeight; ++r) {
                uint8_t bits = 0;
                for (int c = 0; c < kArtWidth; ++c) {
                    const char p = block.rows[r][i * (kArtWidth + 1) + c];
                    if (p != '#' && p != '.') throw "glyph art uses only '#' and '.'";
                    if (p == '#') bits |= uint8_t(1u << (BitmapFont::kCellWidth - 1 - c));
                }
                glyph.rows[r] = bits;
            }
        }
        next += block.chars.size();
    }
    return glyphs;
}

constexpr auto kGlyphs = BuildGlyphs();

constexpr std::size_t kFirstPrintable = 32, kLastPrintable = 126;
constexpr std::size_t kDegreeIndex = kLastPrintable - kFirstPrintable + 1;
constexpr std::size_t kMicroIndex = kDegreeIndex + 1;
constexpr std::size_t kBoxIndex = kMicroIndex + 1;

// Lookup indexes the table directly, so its order is part of the contract.
constexpr bool OrderIsAsExpected() {
    for (std::size_t c = kFirstPrintable; c <= kLastPrintable; ++c) {
        if (kGlyphs[c - kFirstPrintable].code != char32_t(c)) return false;
    }
    return kGlyphs[kDegreeIndex].code == U'\u00B0' && kGlyphs[kMicroIndex].code == U'\u00B5' &&
           kGlyphs[kBoxIndex].code == U'\uFFFD' && kGlyphs.size() == kBoxIndex + 1;
}
static_assert(OrderIsAsExpected());

constexpr std::size_t IndexOf(char32_t code) {
    if (code >= kFirstPrintable && code <= kLastPrintable) return code - kFirstPrintable;
    if (code == U'\u00B0') return kDegreeIndex;
    if (code == U'\u00B5') return kMicroIndex;
    return kBoxIndex;
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

const BitmapFont::Rows& BitmapFont::Glyph(char32_t code) { return kGlyphs[IndexOf(code)].rows; }

bool BitmapFont::HasGlyph(char32_t code) { return IndexOf(code) != kBoxIndex || code == U'\uFFFD'; }

char32_t BitmapFont::NextCodePoint(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    }
    if (length == 0 || pos + length > text.size()) {
        ++pos;
        return lead;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(byte(pos + i))) {
            ++pos;
            return lead;
        }
        code = (code << 6) | (byte(pos + i) & 0x3F);
    }
    pos += length;
    return code;
}

std::size_t BitmapFont::CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) NextCodePoint(text, pos);
    return count;
}

}  // namespace talvenor
