#pragma once
// Project files (".rsp"): which sequence was open, the calibration in use, how far the work had
// come, every frame's selection, shifts, quality and rank, and (section "Form") every stored
// control setting, so the work can be reopened and replayed.
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "final/final_state.h"
#include "stacking/alignment_points.h"
#include "wavelets/wavelet_state.h"
#include "workspace/big_ini_file.h"
#include "workspace/controls.h"
#include "workspace/workspace.h"

namespace talvenor {

constexpr const char* kInputSection = "Input";

// How far the writing or reading has come: done of total (frame records when reading, percent
// when writing) and the detail line.
using ProjectProgress = std::function<void(long long done, long long total, std::string_view detail)>;

// The "Input" keys of the open sequence in their order and conditions; `activePage` is the
// open page (0 Input .. 4 Final; anything else is not written). A FITS series adds
// "stretchlevels", the user's answer when it was opened, so it replays the same levels.
void WriteProjectInput(TBigIniFile& ini, const Workspace& ws, const Controls& f, int activePage);

// The per-frame sections ("Shifts", "Info", the de-interlace ones when interlaced, "Ranking")
// for frames 0 .. LastFrame. "Shifts" also holds each frame's sub-pixel shift ("SX", "SY"):
// it comes from the alignment pass and the optimizer, so only storing it lets a sub-pixel
// or drizzled stack replay without aligning again.
void WriteProjectFrames(TBigIniFile& ini, const Workspace& ws, bool interlaced, const ProjectProgress& progress);

// Section "Finish": the settings of the processed and final pictures that the stored controls
// leave out (the gamma, the angle, the flips, the hue, saturation and lightness shifts), so a
// project or a result's recipe reopens to the same picture. Absent keys leave the controls alone.
void WriteProjectFinish(TBigIniFile& ini, const Controls& f);
void ReadProjectFinish(const TBigIniFile& ini, Controls& f);

// Section "Controls": the controls of one piece of work that the stored controls leave out,
// because they belong to the capture in hand rather than to the program (the settings file
// keeps none of them): drizzling and its drop size, the resampling factor (exactly; "Input"
// keeps it rounded) and filter, the wavelet kernel Filter00 .. Filter44, the channel shifts,
// the noise window (estimator, layer boxes, slider ranges, anti-ringing) and the colour
// offsets and balances. Written as the settings file writes properties ("Name_Property");
// absent keys leave the controls alone.
std::span<const std::string> ProjectControlProperties();
void WriteProjectControls(TBigIniFile& ini, const Controls& f);
void ReadProjectControls(const TBigIniFile& ini, Controls& f);

// Section "Processing": what the wavelet page keeps beside its controls: the noise thresholds
// and the anti-ring level (exactly, not as the sliders round them), the display stretch and
// the processing area's place and size.
void WriteProjectProcessing(TBigIniFile& ini, const Workspace& ws, const WaveletState& w);
// The thresholds, the anti-ring level and the stretch, when stored.
void ReadProjectProcessing(const TBigIniFile& ini, Workspace& ws, WaveletState& w);
// Also in "Processing": how the page sharpens. A project without these keys was sharpened by
// the wavelet layers alone and reopens so.
struct ProjectSharpening {
    int method = 0;           // SharpenMethod item: 0 wavelets, 1 deconvolution
    int filter = 0;           // DeconvFilter item: 0 Richardson-Lucy, 1 Wiener
    int sigmaHundredths = 130;
    int iterations = 20;
    float wienerK = 0.02f;
};
void WriteProjectSharpening(TBigIniFile& ini, const ProjectSharpening& p);
// Throws Error naming `origin` for a value out of range.
ProjectSharpening ReadProjectSharpening(const TBigIniFile& ini, std::string_view origin = {});

struct ProjectArea {
    int left = 0, top = 0, width = 0, height = 0;
};
// The processing area as it was processed, when stored.
std::optional<ProjectArea> ReadProjectArea(const TBigIniFile& ini, std::string_view origin = {});

// The alignment points the user placed or edited (section "AlignmentPoints": "size" and
// "P0", "P1", ... as "x,y"); automatic points are placed again by the replayed stack, so a
// project without the section places them anew.
void WriteProjectPoints(TBigIniFile& ini, const AlignmentPointState& points);
void ReadProjectPoints(const TBigIniFile& ini, AlignmentPointState& points, std::string_view origin = {});

// The Final page's crop rectangle ("Finish" key "crop": left,top,right,bottom in the final
// picture's pixels), written only while a crop is in force.
void WriteProjectCrop(TBigIniFile& ini, const FinalState& st, bool cropping);
struct ProjectCrop {
    int left = 0, top = 0, right = 0, bottom = 0;
};
std::optional<ProjectCrop> ReadProjectCrop(const TBigIniFile& ini, std::string_view origin = {});

// Every reader of numbers here takes each within the range the program works with
// (project/checked_number.h) and throws Error naming the key and the file (`origin`, else the
// INI file's name) for one outside it; absent keys and text that is no number keep the default.

// What the "Input" section says, with the defaults of absent keys.
struct ProjectInput {
    std::string fileType = "xxx", fileDir, fileName = "xxxx";
    std::string darkFile = "xxx", flatFile = "xxx";
    int darkFileType = -1, flatFileType = -1;
    int sequenceLength = 0, progStatus = 0, activePage = 0, usedFrames = 1, refFrame = 0;
    int stackSlider = 0, stackDifSlider = 0;
    int hotX = 0, hotY = 0, stackX = 0, stackY = 0;
    bool resampled = false;
    int resampleValue = 1;
    // A FITS series: whether its levels were stretched (absent: they are, as the series is FITS).
    std::optional<bool> stretchFitsLevels;
    std::vector<std::string> images;  // "im" + i, as stored (file names without directory)
};
ProjectInput ReadProjectInput(const TBigIniFile& ini, std::string_view origin = {});

// Frames 0 .. count - 1 from the project: excluded marks, shifts, differences, qualities, the
// de-interlace fields when interlaced, and the ranking with each rank's quality. `progress`
// hears of each part as it is read (" - excluded frames", " - X,Y shifts", ...).
void ReadProjectFrames(const TBigIniFile& ini, Workspace& ws, int count, bool interlaced, const ProjectProgress& progress);

// Reads every number of the project as the readers above do, so a project with one out of
// range is refused before opening it changes anything (the capture is opened before the
// frame table is read).
void CheckProjectNumbers(const TBigIniFile& ini, std::string_view origin);

// A path as a project stores it, usable on this system: either separator is accepted.
std::filesystem::path ProjectPath(std::string_view stored);

// The text of a float that reads back to the same float whatever the locale ("." always; a ","
// written by another program is read too).
std::string FloatText(float v);
float FloatFromText(std::string_view text, float fallback);

// An integer, in decimal or with a "0x" prefix in hexadecimal; `fallback` when it is neither.
int IntegerFromText(std::string_view text, int fallback);

}  // namespace talvenor
