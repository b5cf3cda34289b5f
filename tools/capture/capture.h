#pragma once
// The synthetic capture generator: a scene with known detail, frames with known shifts and
// blurs, written as the AVI, SER or image series a camera program would write, with the truth
// beside it (truth.csv, truth.bmp, truth.tif). Everything is deterministic by seed: the same
// options give the same bytes on every run.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/frames.h"
#include "capture/local_seeing.h"
#include "capture/scene.h"
#include "capture/seeing.h"
#include "capture/sensor.h"
#include "workspace/bitmap24.h"

namespace talvenor::capture {

// SerMono, SerRgb and SerBayer are SER videos of grey frames, RGB frames and the raw RGGB
// mosaic a one-shot colour camera records (always of the colour scene), 8 or 16 bits per
// sample (CaptureOptions::bitDepth).
enum class CaptureFormat { AviRgb, AviGrey, AviMjpeg, Bmp, Jpeg, Fits, Tiff, SerMono, SerRgb, SerBayer };

// "avi-rgb", "avi-grey", "avi-mjpeg", "bmp", "jpg", "fit", "tif", "ser-mono", "ser-rgb",
// "ser-bayer" (also "jpeg", "fits", "tiff", "avi-gray", "ser-grey", "ser-gray", "ser-rggb"),
// any case.
std::optional<CaptureFormat> ParseCaptureFormat(std::string_view text);
std::string CaptureFormatName(CaptureFormat format);
bool IsAvi(CaptureFormat format);
bool IsSer(CaptureFormat format);

struct CaptureOptions {
    SceneMode mode = SceneMode::Planet;
    CaptureFormat format = CaptureFormat::AviRgb;
    int frames = 300;
    int width = 640;
    int height = 480;
    uint64_t seed = 1;
    double driftX = 0.05;  // pixels per frame
    double driftY = 0.03;
    double jitter = 2.5;   // pixels, each axis
    double blurMin = 0.6;  // seeing sigma range, pixels
    double blurMax = 2.5;
    double noise = 2;      // standard deviation in 8-bit levels at full brightness
    double brightness = 0; // frame-to-frame gain change, 0..0.5
    std::vector<int> dropped;  // AVI only: frames written as empty chunks
    bool colour = false;   // a colour scene (grey formats still get its luminance)
    uint32_t fps = 30;
    uint64_t riffLimit = uint64_t(1) << 30;  // AVI: RIFF size at which OpenDML parts begin
    int bitDepth = 8;      // SER: bits per sample, 8 or 16 (16 keeps the frame's full precision)
    // The 16-bit ADU full brightness reaches, as if the camera's conversion gain were turned
    // down: every frame (signal, noise and black level alike) is scaled by fullScale / 65535
    // before quantising, in every format. 65535 leaves the frames as they are; a few hundred
    // makes a faint capture whose 8-bit rendering is only a few levels deep.
    double fullScale = 65535;
    bool writeTruth = true;
    // The realistic model: photon and read noise of a real camera with a black level
    // (`sensor`, replacing `noise`), seeing that wanders from frame to frame and differs
    // between the axes, and pointing that random-walks (`seeing`; `jitter` becomes the
    // standard deviation of the tip-tilt jump; seeing.distortion and seeing.patchiness move
    // and blur each area of the frame on its own, see local_seeing.h). Off: the simple model
    // above, whose frames stay byte for byte what they were.
    bool realistic = false;
    SensorModel sensor;
    SeeingOptions seeing;
};

// The realistic model with the values of a typical planetary capture: peak near 200 ADU of
// 255 over a 4 ADU black level, 3 e-/ADU, 3 e- read noise, seeing 0.8 .. 3.5 pixels.
CaptureOptions RealisticCaptureOptions();

// Throws talvenor::Error with a message for the first option out of range.
void CheckOptions(const CaptureOptions& options);

class CaptureGenerator {
public:
    explicit CaptureGenerator(const CaptureOptions& options);
    CaptureGenerator(const CaptureGenerator&) = delete;  // the renderer refers to the scene
    CaptureGenerator& operator=(const CaptureGenerator&) = delete;

    const CaptureOptions& options() const { return options_; }
    const std::vector<FrameTruth>& plan() const { return plan_; }
    const Scene& scene() const { return scene_; }
    // Channels of the frames written: 1 for grey formats or a grey scene, else 3.
    int Channels() const { return scene_.channels; }

    // Frame k before quantisation (dropped frames render like any other), at fullScale.
    void RenderFloat(int k, FloatImage& out);
    // Frame k at 8 bits, as the AVI, BMP, JPEG and 8-bit SER outputs receive it.
    Bitmap24 Frame8(int k);
    // The truth image at frame size.
    void RenderTruth(FloatImage& out) const { renderer_.RenderTruth(out); }

private:
    CaptureOptions options_;
    std::vector<FrameTruth> plan_;
    Scene scene_;
    FrameRenderer renderer_;
    std::optional<LocalSeeingRenderer> local_;  // seeing that differs across the frame, if asked
};

struct CaptureSummary {
    std::filesystem::path output;     // the AVI or SER file, or the series directory
    std::filesystem::path truthDir;   // where truth.csv and the truth images are
    int frames = 0;
    int dropped = 0;
    int riffs = 0;                    // AVI: 1 for a plain file, more with OpenDML
    uint64_t bytes = 0;
    double seconds = 0;
    std::string Describe(const CaptureOptions& options) const;
};

CaptureSummary WriteCapture(const std::filesystem::path& out, const CaptureOptions& options);

// "frame,dx,dy,sigma,dropped" and one row per frame, 4 decimals; `axes` appends the
// columns sigma_x,sigma_y (the realistic model's blur along each axis).
std::string TruthCsv(const std::vector<FrameTruth>& plan, bool axes = false);

// The trailer timestamp of frame k of a SER capture: 100 ns ticks from 1 January 2024
// (UTC) at the options' frame rate.
int64_t SerTimestamp(const CaptureOptions& options, int k);

// truth.csv, truth.bmp (8 bits) and truth.tif (16 bits per sample) in `dir`.
void WriteTruthFiles(const std::filesystem::path& dir, const CaptureGenerator& generator);

}  // namespace talvenor::capture
