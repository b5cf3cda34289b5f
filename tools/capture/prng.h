#pragma once
// Random numbers for the capture generator. Captures must come out bit for bit the same for
// a seed on every machine and every standard library, so the generator carries its own
// small generators (splitmix64 for seeding and hashing, xoshiro256** for streams) instead of
// std::uniform_*_distribution, whose output is left to the library.
#include <cmath>
#include <cstdint>

namespace talvenor::capture {

// The splitmix64 finaliser: a strong 64-bit mix, used to hash lattice points and seeds.
constexpr uint64_t Mix64(uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Derives an independent seed for one use (the scene, the frame plan, frame k's noise ...)
// from the user's seed, so that changing one use never disturbs the others.
constexpr uint64_t SubSeed(uint64_t seed, uint64_t purpose, uint64_t index = 0) {
    return Mix64(Mix64(seed ^ Mix64(purpose)) + index);
}

class Rng {
public:
    explicit Rng(uint64_t seed) {
        uint64_t z = seed;
        for (uint64_t& w : s_) {
            z += 0x9E3779B97F4A7C15ull;
            w = Mix64(z);
        }
    }

    uint64_t Next() {
        const uint64_t result = Rotl(s_[1] * 5, 7) * 9;
        const uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = Rotl(s_[3], 45);
        return result;
    }

    // Uniform in [0, 1) with 53 random bits.
    double Uniform() { return double(Next() >> 11) * 0x1.0p-53; }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    // Uniform integer in [0, n), n > 0.
    uint64_t Below(uint64_t n) { return uint64_t(Uniform() * double(n)) % n; }

    // Standard normal deviate (Box-Muller; the second value is dropped to keep the stream
    // position independent of call history).
    double Gaussian() {
        const double u1 = 1.0 - Uniform();  // (0, 1]
        const double u2 = Uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    static constexpr uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t s_[4];
};

}  // namespace talvenor::capture
