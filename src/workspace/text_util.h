#pragma once
// Small text helpers shared by the settings files, the controls and the command line.
#include <optional>
#include <string>
#include <string_view>

namespace talvenor {

std::string ToLower(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string_view Trim(std::string_view s);

// Whole decimal integer (optional sign, surrounding blanks allowed); nothing otherwise.
std::optional<long long> ParseInteger(std::string_view s);
// Decimal number as written by FormatNumber or typed by a user; nothing otherwise.
std::optional<double> ParseNumber(std::string_view s);
// Shortest text that reads back to exactly the same double.
std::string FormatNumber(double v);
// "True"/"False" as the settings file writes booleans; reading also takes 1/0, yes/no.
std::optional<bool> ParseBool(std::string_view s);
inline std::string FormatBool(bool b) { return b ? "True" : "False"; }
// The local time of day, "hh:mm:ss", as the logs write it.
std::string TimeOfDay();

}  // namespace talvenor
