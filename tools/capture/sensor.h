#pragma once
// The camera of the realistic capture model. A planetary camera counts photo-electrons: the
// count in a pixel is Poisson distributed, so its variance equals the signal in electrons
// (shot noise), the readout adds a fixed noise of a few electrons, and the converter divides
// by the gain (electrons per ADU) and adds a black level (pedestal) before rounding. Bright
// parts of a frame are therefore noisier in ADU than dark ones, as in every real capture, and
// a frame's noise says nothing about its sharpness.
//
// Values are kept on the 8-bit ADU scale divided by 255 (so the quantisers write 8-bit ADU
// as they are, and 16-bit files the same ADU times 257, like a camera with a finer converter).
#include <cstddef>
#include <cstdint>

namespace talvenor::capture {

struct SensorModel {
    double gain = 3.0;       // electrons per ADU
    double readNoise = 3.0;  // electrons rms
    double pedestal = 4.0;   // ADU of a black pixel
    double peak = 200.0;     // ADU above the pedestal that scene brightness 1 reaches
};

// Throws talvenor::Error naming the first value out of range.
void CheckSensor(const SensorModel& sensor);

// Turns `count` blurred scene values (0..1 times the frame's brightness) into ADU / 255 with
// the sensor's noise, from the random stream `seed`. Values are not clamped: quantising does.
void ExposeSensor(float* values, std::size_t count, const SensorModel& sensor, uint64_t seed);

// The noise standard deviation in ADU the model gives at `adu` above the pedestal.
double SensorNoiseAdu(const SensorModel& sensor, double adu);

}  // namespace talvenor::capture
