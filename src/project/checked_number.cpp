#include "project/checked_number.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <optional>

#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace {

// A whole number as text: empty when it is none; saturated when it is too long for 64 bits,
// so a number of any length is seen as out of range rather than as garbage.
std::optional<long long> WholeNumber(std::string_view text) {
    std::string_view t = Trim(text);
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    unsigned long long v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
    if (t.empty() || end != t.data() + t.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range || v > (unsigned long long)LLONG_MAX)
        return negative ? LLONG_MIN : LLONG_MAX;
    if (ec != std::errc()) return std::nullopt;
    return negative ? -(long long)v : (long long)v;
}

// A decimal number ("," read as "."); a value beyond double's range counts as infinite.
std::optional<double> RealNumber(std::string_view text) {
    std::string t(Trim(text));
    std::replace(t.begin(), t.end(), ',', '.');
    if (!t.empty() && t.front() == '+') t.erase(0, 1);
    double v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || end != t.data() + t.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) return std::abs(v) < 1 ? 0.0 : HUGE_VAL;
    if (ec != std::errc()) return std::nullopt;
    return v;
}

}  // namespace

CheckedNumbers::CheckedNumbers(const TBigIniFile& ini, std::string_view origin)
    : ini_(ini), origin_(origin.empty() ? ini.FileName().string() : std::string(origin)) {}

void CheckedNumbers::Refuse(std::string_view section, std::string_view key, std::string_view text,
                            const std::string& range) const {
    throw Error(origin_ + ": [" + std::string(section) + "] " + std::string(key) + "=" + std::string(Trim(text)) +
                " is out of range (" + range + "), the project is not loaded");
}

int CheckedNumbers::Int(std::string_view section, std::string_view key, int fallback, int lo, int hi) const {
    return IntIn(section, key, ini_.ReadString(section, key, ""), fallback, lo, hi);
}

int CheckedNumbers::IntIn(std::string_view section, std::string_view key, std::string_view text, int fallback, int lo,
                          int hi) const {
    const auto v = WholeNumber(text);
    if (!v) return fallback;
    if (*v < lo || *v > hi) Refuse(section, key, text, std::to_string(lo) + " .. " + std::to_string(hi));
    return int(*v);
}

float CheckedNumbers::Float(std::string_view section, std::string_view key, float fallback, float lo, float hi) const {
    const std::string text = ini_.ReadString(section, key, "");
    const auto v = RealNumber(text);
    if (!v) return fallback;
    if (!std::isfinite(*v) || *v < lo || *v > hi)
        Refuse(section, key, text, FormatNumber(lo) + " .. " + FormatNumber(hi));
    return float(*v);
}

}  // namespace talvenor
