// The Final page's render of a 1024 x 768 colour result: at angle 0, turned by 30 degrees, and
// the 16-bit render the TIFF save uses. Median milliseconds; the 8-bit renders run on every
// slider release, so they must feel immediate.
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "bench_util.h"
#include "final/render_final.h"

using namespace talvenor;

namespace {

// A digest of the rendered pixels, printed so that a faster render can be seen to draw the same.
uint64_t Digest(const uint8_t* bytes, std::size_t n, uint64_t h = 1469598103934665603ull) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
    return h;
}
uint64_t Digest(const Bitmap24& picture) {
    uint64_t h = 1469598103934665603ull;
    for (int y = 0; y < picture.Height(); ++y) h = Digest(picture.Row(y), std::size_t(picture.Width()) * 3, h);
    return h;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    const int w = 1024, h = 768;
    TTIFFBitMap wide;
    wide.CreateWide(w + 1, h + 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d = std::hypot(x - 512.0, y - 384.0);
            const double v = d < 300 ? 30000 + 12000 * std::sin(y * 0.05) : 1500;
            wide.SetSample(x, y, 0, uint16_t(v * 1.1 > 65535 ? 65535 : v * 1.1));
            wide.SetSample(x, y, 1, uint16_t(v));
            wide.SetSample(x, y, 2, uint16_t(v * 0.8));
        }
    FinalState curves;
    curves.SatCurve[300] = 10;
    FinalSettings s;
    s.curves = &curves;
    s.saturation = 5;
    Bitmap24 out;
    std::array<int32_t, 361> hist{};
    std::printf("Final render, 1024 x 768 colour, median of %d runs\n", runs);
    auto row = [&](const char* what, double ms, double target) {
        std::printf("  %-40s %8.2f ms   target <= %3.0f ms   %s\n", what, ms, target, ms <= target ? "PASS" : "FAIL");
    };
    s.angle = 0;
    row("RenderFinal, angle 0", 1e3 * bench::SecondsPerCall([&] { RenderFinal(wide, w, h, s, out, hist); }, runs), 30);
    const uint64_t straight = Digest(out);
    s.angle = 30;
    row("RenderFinal, angle 30", 1e3 * bench::SecondsPerCall([&] { RenderFinal(wide, w, h, s, out, hist); }, runs), 60);
    const uint64_t turned = Digest(out);
    TTIFFBitMap wide16;
    s.angle = 0;
    std::printf("  %-40s %8.2f ms\n", "RenderFinal16, angle 0",
                1e3 * bench::SecondsPerCall([&] { RenderFinal16(wide, w, h, s, wide16); }, runs));
    s.angle = 30;
    std::printf("  %-40s %8.2f ms\n", "RenderFinal16, angle 30",
                1e3 * bench::SecondsPerCall([&] { RenderFinal16(wide, w, h, s, wide16); }, runs));
    std::printf("    (pixel digests: angle 0 %016llx, angle 30 %016llx, 16-bit at 30 %016llx)\n",
                (unsigned long long)straight, (unsigned long long)turned,
                (unsigned long long)Digest(wide16.Wide.data(), wide16.Wide.size()));
    return 0;
}
