#pragma once
// The pieces of the commands' --json summaries and their one-line summaries: strings quoted
// and escaped for JSON (paths may hold quotes, backslashes and control characters), and
// numbers with a fixed count of decimals, so no line depends on a fixed-size buffer.
#include <string>
#include <string_view>

namespace talvenor {

// `text` as a JSON string, quotes included: '"' and '\' escaped, control characters as \uXXXX
// (or \n, \t, ...). Bytes from 0x80 up pass through, so UTF-8 stays as it is.
std::string JsonString(std::string_view text);

// `value` with `decimals` digits after the point ("%.*f").
std::string Fixed(double value, int decimals);

}  // namespace talvenor
