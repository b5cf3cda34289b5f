#pragma once
// The luminance registration works on: L = w_red * red + w_green * green + w_blue * blue in
// single precision, from the byte values of a 24-bit (blue, green, red) picture.
#include <array>
#include <cstdint>

namespace talvenor {

inline float Luminance(const uint8_t* bgr, const std::array<float, 3>& w) {
    return w[0] * float(bgr[2]) + w[1] * float(bgr[1]) + w[2] * float(bgr[0]);
}
// The same of a grey byte (blue, green and red all `grey`), to the bit.
inline float GreyLuminance(uint8_t grey, const std::array<float, 3>& w) {
    const float v = float(grey);
    return w[0] * v + w[1] * v + w[2] * v;
}

}  // namespace talvenor
