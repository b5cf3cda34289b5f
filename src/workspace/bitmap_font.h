#pragma once
// The program's one built-in font. Graph labels, captions and overlay texts are painted by
// the core itself, so they must look the same in the desktop program, in a headless run and
// in a test, on every platform: no system font is involved.
//
// Every character occupies a fixed cell of 6 × 10 pixels: a glyph five pixels wide with one
// blank column after it, a blank top row, seven rows of capital height (the baseline is the
// bottom one) and two rows of descenders. It covers printable ASCII plus the degree sign and
// the micro sign; anything else shows as a hollow box, so a missing glyph is noticed instead
// of silently vanishing from a label.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace talvenor {

struct BitmapFont {
    static constexpr int kCellWidth = 6;
    static constexpr int kCellHeight = 10;

    // One byte per row, top row first; column c (0 = left) is bit kCellWidth - 1 - c.
    using Rows = std::array<uint8_t, kCellHeight>;

    static constexpr bool Ink(uint8_t row, int column) {
        return ((row >> (kCellWidth - 1 - column)) & 1) != 0;
    }

    // The glyph for a code point, the box for one the font lacks.
    static const Rows& Glyph(char32_t code);
    static bool HasGlyph(char32_t code);

    // Texts are UTF-8. A byte that does not start a valid sequence stands for itself as a
    // Latin-1 character, so strings built from old 8-bit settings files still show their
    // degree signs. Advances pos past the character read.
    static char32_t NextCodePoint(std::string_view text, std::size_t& pos);
    static std::size_t CharacterCount(std::string_view text);
};

}  // namespace talvenor
