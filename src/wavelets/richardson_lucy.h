#pragma once
// Richardson-Lucy restoration of one plane blurred by a Gaussian, worked in the picture itself
// (a separable blur per step, edges mirrored) rather than through transforms: the kernel is a
// few pixels wide, so two blurs per iteration cost less than four transforms.
#include <functional>
#include <vector>

namespace talvenor {

// width x height values, rows contiguous.
struct FloatPlane {
    int width = 0, height = 0;
    std::vector<float> values;
    float* Row(int y) { return values.data() + std::size_t(y) * width; }
    const float* Row(int y) const { return values.data() + std::size_t(y) * width; }
};

// out = in blurred by a Gaussian of `sigma` pixels (taps to 4 sigma), edges mirrored.
void GaussianBlur(const FloatPlane& in, FloatPlane& out, double sigma);

// `data` (sky removed, so the object's light alone) restored in place by `iterations`
// multiplicative updates; `damping` > 0 eases residuals smaller than damping x `noise`
// (White's damped iteration, simplified): the update then follows the square of their share of
// it, so noise is not amplified into grain where the model already fits. `step(i)` runs after
// iteration i (1-based) and returns false to stop early (the plane is then not restored).
bool RichardsonLucy(FloatPlane& data, double sigma, int iterations, double damping, float noise,
                    const std::function<bool(int)>& step);

}  // namespace talvenor
