#pragma once
// The ground truth of a synthetic capture: what the telescope would see without the
// atmosphere, as linear intensities 0..1 per channel. Frames are rendered from it by
// shifting, blurring and adding noise (frames.h), so every test and benchmark knows the
// exact answer the program should get back.
//
// The scene is larger than the frame by `margin` pixels on every side, so that a frame
// shifted by up to the margin still samples real detail instead of a smeared edge. All
// coordinates are frame coordinates: (0, 0) is the top-left pixel of the unshifted frame,
// x to the right, y downwards.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvenor::capture {

enum class SceneMode {
    Planet,  // a banded, oblate, limb-darkened gas giant with ovals on a dark sky
    Moon,    // a cratered lunar surface with maria, filling the frame, near the terminator
    Sun,     // solar granulation with a sunspot, filling the frame
};

std::optional<SceneMode> ParseSceneMode(std::string_view text);
std::string SceneModeName(SceneMode mode);

struct SceneOptions {
    SceneMode mode = SceneMode::Planet;
    int width = 640;   // frame size
    int height = 480;
    int margin = 16;   // scene beyond the frame on each side
    uint64_t seed = 1;
    bool colour = true;
    // Planet only. The centre is in frame coordinates (NaN: the frame centre); a radius of
    // 0 picks 30 % of the smaller frame side. Oblateness 0.065 is Jupiter's flattening.
    double centreX = NAN;
    double centreY = NAN;
    double radius = 0;
    double oblateness = 0.065;
    double limbDarkening = 0.6;  // u in I = 1 - u (1 - sqrt(1 - r^2))
};

// Planar float image: channel c is Plane(c), rows of Stride() floats. Frame coordinates
// (x, y) live at index (y + margin) * Stride() + (x + margin).
struct Scene {
    int width = 0;
    int height = 0;
    int margin = 0;
    int channels = 0;  // 1 (grey) or 3 (red, green, blue)
    std::vector<float> data;

    int Stride() const { return width + 2 * margin; }
    int Rows() const { return height + 2 * margin; }
    std::size_t PlaneSize() const { return std::size_t(Stride()) * std::size_t(Rows()); }
    float* Plane(int c) { return data.data() + std::size_t(c) * PlaneSize(); }
    const float* Plane(int c) const { return data.data() + std::size_t(c) * PlaneSize(); }
    float At(int c, int x, int y) const {
        return Plane(c)[std::size_t(y + margin) * std::size_t(Stride()) + std::size_t(x + margin)];
    }
    // Same geometry, zero-filled.
    void Allocate(int w, int h, int m, int ch);
};

Scene MakeScene(const SceneOptions& options);

// The scene with its margin grown to `margin` (if larger) by mirroring it about its outer
// rows and columns, for renderers that reach further than the scene was made for: the frame
// area stays what it was (a larger margin made by MakeScene could change it, the Moon's
// craters being spread over the whole scene), and a mirror has no edge to show in a blur.
Scene PadScene(const Scene& scene, int margin);

// The planet's equatorial radius in pixels (the option, or its default).
double PlanetRadius(const SceneOptions& options);
// The size of what the frames show: the planet's equatorial diameter, or the smaller frame
// side for the Moon and the Sun, which fill the frame.
double ObjectSize(const SceneOptions& options);

// Luminance 0.299 R + 0.587 G + 0.114 B of a colour scene; a grey scene is returned as is.
Scene ToGrey(const Scene& scene);

}  // namespace talvenor::capture
