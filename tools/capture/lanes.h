#pragma once
// Four floats that the compiler adds and multiplies lane by lane, each lane exactly as a lone
// float would be: the frame renderers' inner loops, written so that they run four pixels at
// a time without changing a single rounding.
#include <cstring>

namespace talvenor::capture {

typedef float Lanes __attribute__((vector_size(16)));

inline Lanes LoadLanes(const float* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void StoreLanes(float* p, Lanes v) { std::memcpy(p, &v, sizeof v); }

inline float SumLanes(Lanes v) { return (v[0] + v[1]) + (v[2] + v[3]); }

}  // namespace talvenor::capture
