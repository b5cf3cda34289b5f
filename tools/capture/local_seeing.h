#pragma once
// Seeing that differs across the frame. Real seeing does not move and blur a frame as a
// whole: each area of a few dozen pixels looks through its own cell of air, so it is moved
// a little on its own (the picture wobbles like a reflection in water) and blurred more or
// less than its neighbours. A frame of the realistic model can carry both, on top of its
// global shift (dx, dy) and blur:
//
//   distortion: a smooth random displacement (u, v) of rms `distortion` on each axis and
//     zero mean over the frame, correlation length `distortionLength`; frame pixel (x, y)
//     shows the scene point (x - dx - u(x, y), y - dy - v(x, y)).
//   patchiness: the blur at (x, y) is the frame's, both axes, times exp(P g(x, y)), g a smooth
//     random field of zero mean and unit rms, correlation length `patchLength`. The frame's
//     sigma is thus the geometric mean of its local ones.
//
// Both fields are drawn afresh for every frame from the frame's index, so any frame renders
// alone and the same seed gives the same frames. Both average to nothing over the frame, so
// the global shift and blur in truth.csv stay what a whole-frame measurement should find.
//
// Rendering: the frame is blurred at a few levels spread geometrically over the range of
// blurs the frame's field reaches, each pixel blends the two levels around its own blur
// (weighted so that the blend has the variance of the wanted Gaussian), reading them at its
// displaced position with Catmull-Rom interpolation (bilinear would soften the frame where
// the displacement falls between pixels). The frame is worked in strips of small cells, so
// that a level is only computed where some pixel reads it, and the strips are shared among
// the machine's cores; the result does not depend on how.
#include <cstdint>
#include <vector>

#include "capture/frames.h"
#include "capture/scene.h"

namespace talvenor::capture {

struct LocalSeeing {
    double distortion = 0;        // rms of each displacement component, pixels
    double distortionLength = 0;  // correlation length of the displacement, pixels
    double patchiness = 0;        // P
    double patchLength = 0;       // correlation length of the blur field g, pixels

    bool Active() const { return distortion > 0 || patchiness > 0; }
};

// The correlation lengths for an object `objectSize` pixels across (scene.h ObjectSize): the
// displacement changes over an eighth of it, the blur over a third.
LocalSeeing LocalSeeingFor(double distortion, double patchiness, double objectSize);

// Scene margin that covers every frame of `plan` under `local`: the largest displacement
// and the widest blur the (clipped) fields can ask for, beyond MarginFor(plan).
int LocalSeeingMargin(const std::vector<FrameTruth>& plan, const LocalSeeing& local);

// The fields of one frame, at frame size, row-major. Empty when their effect is off.
struct LocalFields {
    std::vector<float> u, v;  // displacement, pixels
    std::vector<float> g;     // blur field, unit rms
};

class LocalSeeingRenderer {
public:
    // `seed` seeds the fields (frame k's from stream k); the scene must outlive the renderer.
    LocalSeeingRenderer(const Scene& scene, const LocalSeeing& local, uint64_t seed);

    // The fields of frame `index`.
    void Fields(int index, LocalFields& out) const;

    // Frame `index` of `truth` before noise (FrameRenderer::Expose adds it), reusing `out`.
    // Throws talvenor::Error when the frame needs the scene beyond its margin.
    void Render(int index, const FrameTruth& truth, FloatImage& out);

private:
    const Scene& scene_;
    LocalSeeing local_;
    uint64_t seed_;
    LocalFields fields_;  // kept between frames for its storage
};

}  // namespace talvenor::capture
