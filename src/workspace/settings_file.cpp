#include "workspace/settings_file.h"

#include <cstdio>

#include "workspace/big_ini_file.h"
#include "workspace/error.h"
#include "workspace/stored_properties.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace {

std::string FourInts(const std::array<int, 4>& v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d", v[0], v[1], v[2], v[3]);
    return buf;
}

bool ParseFourInts(std::string_view text, std::array<int, 4>& out) {
    std::array<int, 4> v{};
    for (int i = 0; i < 4; ++i) {
        auto comma = text.find(',');
        auto part = i < 3 ? text.substr(0, comma) : text;
        auto n = ParseInteger(part);
        if (!n || (i < 3 && comma == std::string_view::npos)) return false;
        v[std::size_t(i)] = int(*n);
        if (i < 3) text.remove_prefix(comma + 1);
    }
    out = v;
    return true;
}

}  // namespace

std::string StoredPropertyKey(std::string_view property) {
    std::string key(property);
    for (char& c : key)
        if (c == '.') c = '_';
    return key;
}

void ReadControlSettings(const TBigIniFile& ini, Controls& form, WindowPlacement& placement) {
    const std::string absent = "\x01";
    WindowPlacement p;
    std::string normPos = ini.ReadString(kFormSection, "NormPos", absent);
    if (normPos != absent && ParseFourInts(normPos, p.NormPos)) {
        p.Stored = true;
        p.Flags = ini.ReadInteger(kFormSection, "Flags", 0);
        p.ShowCmd = ini.ReadInteger(kFormSection, "ShowCmd", 1);
        p.PixelsPerInch = ini.ReadInteger(kFormSection, "PixelsPerInch", 96);
        ParseFourInts(ini.ReadString(kFormSection, "MinMaxPos", ""), p.MinMaxPos);
        placement = p;
    }
    for (std::string_view property : StoredProperties()) {
        std::string value = ini.ReadString(kFormSection, StoredPropertyKey(property), absent);
        if (value == absent) continue;
        try {
            form.SetValue(property, value);
        } catch (const Error&) {
            // Keep the control's default rather than refuse to start over one bad entry.
        }
    }
}

void WriteControlSettings(TBigIniFile& ini, const Controls& form, const WindowPlacement& placement) {
    ini.WriteInteger(kFormSection, "FormVersion", 0);
    ini.WriteInteger(kFormSection, "Flags", placement.Flags);
    ini.WriteInteger(kFormSection, "ShowCmd", placement.ShowCmd);
    ini.WriteInteger(kFormSection, "PixelsPerInch", placement.PixelsPerInch);
    ini.WriteString(kFormSection, "MinMaxPos", FourInts(placement.MinMaxPos));
    ini.WriteString(kFormSection, "NormPos", FourInts(placement.NormPos));
    for (std::string_view property : StoredProperties())
        ini.WriteString(kFormSection, StoredPropertyKey(property), form.GetValue(property).value_or(""));
}

void RestoreControlSettings(const std::filesystem::path& file, Controls& form, WindowPlacement& placement) {
    try {
        TBigIniFile ini(file);
        ReadControlSettings(ini, form, placement);
    } catch (const Error&) {
        // An unreadable settings file is as good as none: the form keeps its defaults.
    }
}

void SaveControlSettings(const std::filesystem::path& file, const Controls& form, const WindowPlacement& placement,
                         bool durable) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    TBigIniFile ini{std::filesystem::path()};
    WriteControlSettings(ini, form, placement);
    // Built in memory first and written in one go, so the old file stays intact until the
    // new one is complete.
    TBigIniFile out(file);
    out.SetDurable(durable);
    out.EraseSection(kFormSection);
    for (const std::string& line : ini.ReadSectionValues(kFormSection)) {
        auto eq = line.find('=');
        out.WriteString(kFormSection, line.substr(0, eq), eq == std::string::npos ? "" : line.substr(eq + 1));
    }
    out.UpdateFile();
}

}  // namespace talvenor
