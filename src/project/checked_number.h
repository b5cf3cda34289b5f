#pragma once
// Numbers read from a project: each key is read with the range the program can work with,
// and a number outside it refuses the whole file, naming the key and the file, before any
// of it is used (a shift of two thousand million pixels would otherwise overflow the stack's
// size and a NaN sub-pixel shift become a pixel index).
#include <string>
#include <string_view>

#include "workspace/big_ini_file.h"
#include "workspace/workspace.h"

namespace talvenor {

// How far a stored position or shift may lie from the frame's origin: the largest frame side
// the program takes plus as much again of drift room (a feature tracked across the whole
// frame). Beyond it no part of a frame could overlap the stack.
constexpr int kMaxStoredOffset = 2 * kMaxImageSide;

class CheckedNumbers {
public:
    // `origin` names the file in refusals; empty: the INI file's own name.
    explicit CheckedNumbers(const TBigIniFile& ini, std::string_view origin = {});

    // The integer at section/key (decimal or "0x" hexadecimal); `fallback` when the key is
    // absent or holds no number. Throws Error when it is a number outside lo .. hi.
    int Int(std::string_view section, std::string_view key, int fallback, int lo, int hi) const;
    // The same for `text`, one item of the key's value (a list such as "left,top,right,bottom").
    int IntIn(std::string_view section, std::string_view key, std::string_view text, int fallback, int lo, int hi) const;
    // The same for a float: infinities and NaN are outside every range.
    float Float(std::string_view section, std::string_view key, float fallback, float lo, float hi) const;

    const TBigIniFile& Ini() const { return ini_; }
    const std::string& Origin() const { return origin_; }

private:
    [[noreturn]] void Refuse(std::string_view section, std::string_view key, std::string_view text,
                             const std::string& range) const;

    const TBigIniFile& ini_;
    std::string origin_;
};

}  // namespace talvenor
