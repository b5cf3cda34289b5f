#include "capture/sensor.h"

#include <cmath>

#include "capture/prng.h"
#include "workspace/error.h"

namespace talvenor::capture {

void CheckSensor(const SensorModel& s) {
    auto ok = [](double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; };
    if (!ok(s.gain, 0.01, 1000)) throw Error("gain must be 0.01 .. 1000 electrons per ADU");
    if (!ok(s.readNoise, 0, 1000)) throw Error("read noise must be 0 .. 1000 electrons");
    if (!ok(s.pedestal, 0, 255)) throw Error("pedestal must be 0 .. 255 ADU");
    if (!ok(s.peak, 1, 1000)) throw Error("peak must be 1 .. 1000 ADU");
}

double SensorNoiseAdu(const SensorModel& s, double adu) {
    const double electrons = std::max(0.0, adu) * s.gain;
    return std::sqrt(electrons + s.readNoise * s.readNoise) / s.gain;
}

void ExposeSensor(float* v, std::size_t count, const SensorModel& s, uint64_t seed) {
    // Shot noise is Gaussian with the Poisson variance: at the few electrons of the sky the
    // difference from a true Poisson count is far below the read noise that dominates there.
    // The Irwin-Hall sum of four 16-bit uniforms stands in for a normal deviate, as in the
    // simple model: close enough for sensor noise and far cheaper than Box-Muller.
    Rng rng(seed);
    const float toNormal = 1.f / 37837.23f;
    const float electronsPerUnit = float(s.peak * s.gain);
    const float read2 = float(s.readNoise * s.readNoise);
    const float inverseGain = float(1.0 / s.gain);
    const float peak = float(s.peak), pedestal = float(s.pedestal);
    const float scale = 1.f / 255.f;
    for (std::size_t i = 0; i < count; ++i) {
        const uint64_t r = rng.Next();
        const float g = float(int((r & 0xFFFF) + ((r >> 16) & 0xFFFF) + ((r >> 32) & 0xFFFF) + (r >> 48)) - 131070) *
                        toNormal;
        const float signal = v[i] > 0.f ? v[i] : 0.f;
        const float sd = std::sqrt(signal * electronsPerUnit + read2) * inverseGain;
        v[i] = (pedestal + peak * v[i] + sd * g) * scale;
    }
}

}  // namespace talvenor::capture
