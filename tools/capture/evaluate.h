#pragma once
// Judging a result against the truth of a generated capture: how close a stack comes to the
// scene (disk PSNR after registration and brightness matching), how close the sharpest
// single frames come, how close the best possible mean of the sharpest frames comes (the
// oracle: frames chosen by their true blur and moved back by their true shifts), and how
// well the program's frame quality ranks the frames by their true blur (Spearman).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "capture/frames.h"

namespace talvenor::capture {

struct GroundTruth {
    FloatImage image;                // truth.tif: the scene where frame 0 sees it, 0..1
    std::vector<FrameTruth> frames;  // truth.csv
};

// truth.tif and truth.csv from `dir` (where the generator wrote them). Throws Error.
GroundTruth ReadGroundTruth(const std::filesystem::path& dir);
// The rows of truth.csv, found by their column names; sigma_x and sigma_y default to sigma.
std::vector<FrameTruth> ParseTruthCsv(std::string_view text);

// Where results are registered. A planet: where the truth's luminance exceeds kDiskFraction
// of its largest value. The Moon and the Sun fill the frame: all but a border. Auto tells them
// apart by whether the bright area touches the frame's edge.
enum class MaskKind { Auto, Disk, Border };
inline constexpr double kDiskFraction = 0.05;
// Results are judged on that mask shrunk by kLimbMargin pixels, inside the limb: the step
// from the limb to the sky is a feature no stack of blurred frames restores without
// sharpening, and over the few pixels of its blurred edge it would outweigh everything
// inside (where noise and detail are).
inline constexpr int kLimbMargin = 6;
// `border` in pixels for Border (and Auto when it picks Border); negative: the largest
// shift of `frames` plus 8, at least 8 and at most a quarter of the smaller side.
std::vector<uint8_t> EvaluationMask(const GroundTruth& truth, MaskKind kind = MaskKind::Auto, int border = -1);

struct PsnrResult {
    double psnr = 0;     // dB, peak = the truth's full scale
    double dx = 0;       // the result shows the truth moved right by dx and down by dy
    double dy = 0;
    long pixels = 0;     // mask pixels compared
    int wholeDx = 0, wholeDy = 0;  // the whole-pixel shift the compared pixels were chosen by
};

// `result` registered to the truth by a global shift (whole pixels by correlation over a
// search of +-`reach` pixels, then sub-pixel by minimising the error with the truth moved by
// Lanczos interpolation, over the mask), with a least-squares gain and offset per channel,
// PSNR over the mask shrunk by kLimbMargin. A colour truth compares red, green and blue (each against the result's only
// channel when the result is grey); a grey truth compares luminance. A result that is an
// integer multiple of the truth's size (a resampled stack) is reduced first.
PsnrResult DiskPsnr(const FloatImage& result, const FloatImage& truth, const std::vector<uint8_t>& mask, int reach = 128);
PsnrResult DiskPsnr(const FloatImage& result, const GroundTruth& truth);

// DiskPsnr's judgement at a registration already found (`where`, from DiskPsnr), the truth moved
// there once: many results that sit where one did (a stack sharpened by a grid of settings
// moves nothing) are judged for the cost of a fit each.
class DiskJudge {
public:
    DiskJudge(const FloatImage& truth, const std::vector<uint8_t>& mask, const PsnrResult& where);
    DiskJudge(const GroundTruth& truth, const PsnrResult& where);
    // The judged pixels (indices into a plane of the truth's size) and how many planes are
    // compared: red, green and blue for a colour truth, the luminance for a grey one.
    const std::vector<std::size_t>& Pixels() const { return pixels_; }
    int Planes() const { return int(truth_.size()); }
    // The PSNR of a result given by its values at Pixels(), one array per compared plane.
    double Psnr(std::span<const float* const> values) const;
    double Psnr(const FloatImage& result) const;

private:
    int width_ = 0, height_ = 0;
    std::vector<std::size_t> pixels_;
    std::vector<std::vector<float>> truth_;  // the moved truth at pixels_, per plane
};

// The sharpness of a result as the Gaussian blur (sigma in truth pixels, 0 .. 5 in steps of
// 0.1) that, applied to the truth, best matches the result over the disk (highest DiskPsnr):
// a sharpened result needs a smaller blur than the stack it came from.
struct BlurMatch {
    double sigma = 0;
    double psnr = 0;  // of the result against the truth blurred by sigma
};
BlurMatch EquivalentBlur(const FloatImage& result, const GroundTruth& truth);

// The background of a planet result, by the truth registered to it: the noise of the sky
// (standard deviation of the luminance where the truth is black, 12 pixels or more from the
// disk), its darkest values (1st percentile), and the darkest values of the band 1 to 6 pixels
// outside the limb, where sharpening rings. Luminance in the result's own units (0 .. 1).
// The ring's brightness: the mean of the band 1 to kRingWidth pixels outside the limb as a share
// of the way from the sky's mean to the disk's (comparable between a result and the truth).
inline constexpr int kRingWidth = 4;
struct Background {
    double skyStd = 0, skyLow = 0, limbLow = 0;
    double ringShare = 0;
    long skyPixels = 0, limbPixels = 0;
};
Background BackgroundOf(const FloatImage& result, const GroundTruth& truth);

// `image` blurred by a separable Gaussian of `sigma` pixels (edges repeated).
FloatImage GaussianBlurred(const FloatImage& image, double sigma);

// Frame k of a capture, as written (quantised).
using FrameReader = std::function<void(int, FloatImage&)>;

// Frames that are not dropped, sharpest (smallest true sigma) first, at most `count`.
std::vector<int> SharpestFrames(const std::vector<FrameTruth>& frames, std::size_t count);

struct BestFrame {
    int frame = -1;
    PsnrResult psnr;
};
// The best DiskPsnr among the `candidates` frames of smallest true blur.
BestFrame BestFramePsnr(const FrameReader& frames, const GroundTruth& truth, int candidates = 5);

struct OracleResult {
    FloatImage image;
    int frames = 0;
    PsnrResult psnr;
};
// The mean of the sharpest `fraction` of the frames by true blur (at least one), each moved
// back by its true (dx, dy) with Lanczos interpolation: the best a stack with global
// alignment can do with those frames. Pixels some frames do not cover take the mean of
// those that do.
OracleResult OracleStack(const FrameReader& frames, const GroundTruth& truth, double fraction = 0.25);

// Spearman's rank correlation, ties ranked by their average; 0 when either side is constant
// or fewer than two pairs are given.
double Spearman(std::span<const double> a, std::span<const double> b);

struct ShiftsRow {
    int index = 0;
    double shiftX = 0, shiftY = 0, quality = 0, difference = 0;
    int rank = -1;
    bool excluded = false, dropped = false;
};
// talvenor-cli's --shifts-csv file (index,ShiftX,ShiftY,Quality,Difference,rank,excluded,
// dropped), columns found by name. Throws Error naming the file.
std::vector<ShiftsRow> ReadShiftsCsv(const std::filesystem::path& file);

struct QualityRanking {
    double spearman = 0;  // -1: the quality sorts the frames exactly by sharpness
    int frames = 0;
};
// Spearman(Quality, true sigma) over the frames that were aligned (neither excluded nor
// dropped, in the program's view or the truth's).
QualityRanking QualityAgainstBlur(const std::vector<ShiftsRow>& rows, const std::vector<FrameTruth>& truth);

}  // namespace talvenor::capture
