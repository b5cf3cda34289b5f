#pragma once
// Frames of a synthetic capture: the scene seen through a turbulent atmosphere. Frame k
// shows the scene moved by (dx, dy) (a steady drift plus random jitter, with sub-pixel
// parts), blurred by a Gaussian of its own sigma (seeing changes from frame to frame, so a
// few frames are much sharper than the rest), scaled by a slight brightness change, with
// photon-like noise, then quantised to 8 or 16 bits.
//
// Sign convention: frame k's pixel (x, y) shows the scene point (x - dx, y - dy), so an
// object appears (dx, dy) further right and further down (y grows downwards) than in the
// truth image. Frame 0 is never moved: the truth image is frame 0 before blur and noise,
// and (dx, dy) is also the shift of frame k relative to frame 0.
#include <cstdint>
#include <optional>
#include <vector>

#include "capture/scene.h"
#include "capture/sensor.h"
#include "workspace/bitmap24.h"

namespace talvenor::capture {

struct FrameTruth {
    double dx = 0;
    double dy = 0;
    double sigma = 0;   // seeing blur, pixels: sqrt(sigmaX * sigmaY)
    double sigmaX = 0;  // blur along each axis (equal in the simple model)
    double sigmaY = 0;
    double gain = 1;    // brightness factor
    bool dropped = false;
};

struct MotionOptions {
    int frames = 300;
    double driftX = 0.05;   // pixels per frame
    double driftY = 0.03;
    double jitter = 2.5;    // each axis moves by up to this much around the drift
    double blurMin = 0.6;   // range of the per-frame seeing sigma
    double blurMax = 2.5;
    double brightness = 0;  // each frame's gain lies in 1 -/+ this
    uint64_t seed = 1;
    std::vector<int> dropped;  // frame indices written as dropped frames
};

// The truth of every frame, deterministic by seed. Sigmas are skewed towards the blurry
// end of the range, as seeing is: most frames are soft, a few are sharp.
std::vector<FrameTruth> PlanFrames(const MotionOptions& options);

// Widest blur kernel the renderer uses for `sigma`, in taps either side of the centre.
int KernelRadius(double sigma);

// Scene margin needed so that every frame of `plan` samples inside the scene.
int MarginFor(const std::vector<FrameTruth>& plan);

// A frame before quantisation: planar floats, 0..1 full scale (values may stray outside
// by the noise; quantisation clamps).
struct FloatImage {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<float> data;
    float* Plane(int c) { return data.data() + std::size_t(c) * std::size_t(width) * std::size_t(height); }
    const float* Plane(int c) const { return data.data() + std::size_t(c) * std::size_t(width) * std::size_t(height); }
    void Allocate(int w, int h, int ch);
};

// The scene moved by (dx, dy) and blurred by a Gaussian of sigmaX, sigmaY, times `gain`, as
// two separable kernels over whole pixels: the sub-pixel part of the move is the linear
// interpolation between pixels, folded into the kernels in closed form.
class SeparableBlur {
public:
    SeparableBlur(double sigmaX, double sigmaY, double dx, double dy, double gain);

    // Channel c of the moved, blurred scene over the frame rectangle x0 .. x0 + w - 1,
    // y0 .. y0 + h - 1 (which may lie partly outside the frame), as rows of w floats at
    // `out`. False, with nothing written, when that needs the scene beyond its margin.
    // `rows` is scratch space.
    bool Render(const Scene& scene, int c, int x0, int y0, int w, int h, std::vector<float>& rows, float* out) const;

private:
    int shiftX_, shiftY_;  // whole pixels of the move
    int firstX_ = 0, firstY_ = 0;  // offset of each kernel's first tap
    std::vector<float> kx_, ky_;
    float gain_;
};

class FrameRenderer {
public:
    // `noise` is the standard deviation in 8-bit levels at full brightness; it falls with
    // the square root of the signal down to a floor at black (shot noise over read noise).
    FrameRenderer(const Scene& scene, double noise, uint64_t seed);
    // The realistic camera instead: the frame is the blurred scene in ADU of `sensor`, with
    // its photon and read noise and black level (see sensor.h).
    FrameRenderer(const Scene& scene, const SensorModel& sensor, uint64_t seed);

    // Renders frame `index` (the index seeds its noise, so any frame can be rendered alone
    // and comes out the same) into `out`, reusing its storage.
    void Render(int index, const FrameTruth& truth, FloatImage& out);

    // Adds the noise of frame `index` (the camera's, or the simple model's) to a rendered,
    // noise-free frame: Render is the blur followed by this.
    void Expose(int index, FloatImage& out) const;

    // The unshifted, unblurred, noise-free scene at frame size.
    void RenderTruth(FloatImage& out) const;

    const Scene& scene() const { return scene_; }

private:
    const Scene& scene_;
    double noise_;
    std::optional<SensorModel> sensor_;
    uint64_t seed_;
    std::vector<float> rows_;  // horizontal pass output
};

// Quantisation: round to nearest, clamped. A grey image goes to all three channels of a
// Bitmap24; a colour image becomes grey by luminance for the grey outputs.
void ToBitmap24(const FloatImage& image, Bitmap24& out);
void ToGrey8(const FloatImage& image, std::vector<uint8_t>& out);
// Interleaved 16-bit samples (red, green, blue per pixel, or one grey sample), top row first.
void ToWords(const FloatImage& image, bool grey, std::vector<uint16_t>& out);

}  // namespace talvenor::capture
