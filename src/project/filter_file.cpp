#include "project/filter_file.h"

#include <cmath>
#include <system_error>

#include "workspace/big_ini_file.h"
#include "workspace/controls.h"
#include "workspace/error.h"
#include "workspace/settings_file.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

// The kernel boxes' own range: a weight beyond it would be cut silently by the box, so the
// file would not be the kernel the user sees.
constexpr double kMaxFilterWeight = 999;

std::string ValueKey(int index) { return StoredPropertyKey(FilterSpinName(index) + ".Value"); }

SpinEdit& Spin(const Controls& form, int index) { return *static_cast<SpinEdit*>(form.Find(FilterSpinName(index))); }

}  // namespace

std::string FilterSpinName(int index) {
    return "Filter" + std::to_string(index % 5) + std::to_string(index / 5);
}

FilterValues FilterValuesFrom(const Controls& form) {
    FilterValues v{};
    for (int i = 0; i < kFilterValueCount; ++i) v[std::size_t(i)] = Spin(form, i).Value;
    return v;
}

void ApplyFilterValues(Controls& form, const FilterValues& values) {
    for (int i = 0; i < kFilterValueCount; ++i)
        Spin(form, i).SetValue(values[std::size_t(i)]);
}

void WriteFilterFile(const fs::path& path, const FilterValues& values) {
    TBigIniFile ini(path);
    // Whatever the chosen file held before is replaced, not merged: a filter file that kept
    // the sections of an older file would be a different file from the one saved.
    for (const std::string& section : ini.ReadSections()) ini.EraseSection(section);
    for (int i = 0; i < kFilterValueCount; ++i)
        ini.WriteString(kFilterSection, ValueKey(i), FormatNumber(values[std::size_t(i)]));
    ini.UpdateFile();
}

FilterValues ReadFilterFile(const fs::path& path) {
    const std::string name = path.string();
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) throw Error(name + ": the filter file does not exist");
    const TBigIniFile ini(path);
    FilterValues v{};
    const std::string absent = "\x01";
    for (int i = 0; i < kFilterValueCount; ++i) {
        const std::string key = ValueKey(i);
        const std::string text = ini.ReadString(kFilterSection, key, absent);
        if (text == absent) throw Error(name + ": not a wavelet filter file (" + key + " is missing)");
        const auto number = ParseNumber(text);
        if (!number) throw Error(name + ": " + key + " is not a number (\"" + text + "\")");
        if (std::abs(*number) > kMaxFilterWeight)
            throw Error(name + ": " + key + "=" + text + " is out of range (-999 .. 999)");
        v[std::size_t(i)] = *number;
    }
    return v;
}

}  // namespace talvenor
