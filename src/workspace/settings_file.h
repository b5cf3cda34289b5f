#pragma once
// The settings file: the main window placement and the stored control properties in
// section "Form", one key per property ("Bias_Value"). Project files carry the same list.
#include <array>
#include <filesystem>

#include "workspace/controls.h"

namespace talvenor {

class TBigIniFile;

struct WindowPlacement {
    bool Stored = false;  // false: centre the window on the screen
    int Flags = 0;
    int ShowCmd = 1;      // 1 normal, 2 minimised, 3 maximised
    int PixelsPerInch = 96;
    std::array<int, 4> MinMaxPos{-1, -1, -1, -1};  // minimised x, y; maximised x, y
    std::array<int, 4> NormPos{0, 0, 0, 0};        // normal left, top, right, bottom
};

constexpr const char* kFormSection = "Form";

// "Bias.Value" -> "Bias_Value".
std::string StoredPropertyKey(std::string_view property);

// Reads the placement and every stored property present in section "Form". Values that do
// not fit their control (a damaged or hand-edited file) leave the control at its default.
void ReadControlSettings(const TBigIniFile& ini, Controls& form, WindowPlacement& placement);
void WriteControlSettings(TBigIniFile& ini, const Controls& form, const WindowPlacement& placement);

// Whole-file forms used at start-up and close. A missing or unreadable file leaves every
// control at its default. Saving replaces the file; it throws Error when it cannot be written.
void RestoreControlSettings(const std::filesystem::path& file, Controls& form, WindowPlacement& placement);
// Not `durable`: the file's folder goes with the process (see SafeWriteOptions::Durable).
void SaveControlSettings(const std::filesystem::path& file, const Controls& form, const WindowPlacement& placement,
                         bool durable = true);

}  // namespace talvenor
