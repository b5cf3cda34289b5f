#pragma once
// Wavelet filter files (".rsf"): the 25 weights of the smoothing kernel, stored the way the
// settings file stores spin values, one key per spin ("Filter23_Value") in section
// "WaveletFilter". The program keeps a copy of the last filter saved or loaded as well.
#include <array>
#include <filesystem>
#include <string>

namespace talvenor {

struct Controls;

constexpr const char* kFilterSection = "WaveletFilter";
constexpr const char* kFilterCopyName = "savefilter.ini";
constexpr int kFilterValueCount = 25;

// Kernel order: row by row; value row * 5 + col belongs to spin "Filter<col><row>".
using FilterValues = std::array<double, kFilterValueCount>;

// "Filter" + column digit + row digit, for index = row * 5 + col.
std::string FilterSpinName(int index);

FilterValues FilterValuesFrom(const Controls& form);
// Sets the spins only; the kernel takes the new weights at the next "Set".
void ApplyFilterValues(Controls& form, const FilterValues& values);

// Replaces the whole file with the filter section (written safely: a failed write leaves
// the old file as it was). Throws Error naming the file when it cannot be written.
void WriteFilterFile(const std::filesystem::path& path, const FilterValues& values);

// All 25 values or an Error naming the file: missing, unreadable, a value absent or not a
// number. Nothing is returned half-read, so a bad file can never change the spins.
FilterValues ReadFilterFile(const std::filesystem::path& path);

}  // namespace talvenor
