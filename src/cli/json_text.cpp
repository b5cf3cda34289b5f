#include "cli/json_text.h"

#include <cstdio>

namespace talvenor {

std::string JsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
                    out += escaped;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

std::string Fixed(double value, int decimals) {
    // A double's integer part has at most 309 digits; the decimals asked for here are a few.
    char text[400];
    std::snprintf(text, sizeof text, "%.*f", decimals < 0 ? 0 : decimals > 30 ? 30 : decimals, value);
    return text;
}

}  // namespace talvenor
