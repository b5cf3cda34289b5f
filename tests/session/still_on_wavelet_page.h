#pragma once
// A still opened as the Input page opens one: it is stacked at once and lands processed on the
// Wavelet Processing page, ready for the page's controls.
#include <cmath>

#include "imagefiles/bmp_file.h"
#include "session/input_selection.h"
#include "session/session_fixture.h"

namespace talvenor::testing {

// A planet-like still: a disk with bands and a little texture, red and blue brighter on
// opposite sides, on a dark sky.
inline Bitmap24 PlanetPicture(int width, int height) {
    Bitmap24 b(width, height);
    const double cx = width * 0.5, cy = height * 0.5, r = std::min(width, height) * 0.38;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            double v = 12;
            if (d < r) v = 120 + 50 * std::sin(y * 0.35) + 20 * std::cos(x * 0.5 + y * 0.2);
            const auto level = [](double l) { return uint8_t(std::clamp(l, 0.0, 255.0)); };
            b.SetPixel(x, y, Bgr{level(v * 0.8 + (x - cx) * 0.1), level(v), level(v * 0.9 - (x - cx) * 0.1)});
        }
    return b;
}

// One still opened: it is stacked at once and the Wavelet Processing page processes it.
struct StillOnWaveletPage {
    StartedSession t;
    Session* s = nullptr;
    // `autoSharpen`: as a new user finds it; off, the still arrives with neutral layer gains.
    explicit StillOnWaveletPage(int width = 240, int height = 180, bool autoSharpen = false) {
        s = &t.Start();
        s->form.AutoSharpenAfterStack.Checked = autoSharpen;
        const std::filesystem::path p = t.appDir / "planet.bmp";
        WriteBmp24(p, PlanetPicture(width, height));
        OpenInput(*s, {p.string()}, 2);
    }
    Controls& f() { return s->form; }
    Bitmap24& picture() { return s->form.ProcessImage.Image; }
    void Set(Slider& slider, int value) {
        slider.Value = value;
        s->Dispatch(slider.Name, Event::Change);
    }
};

}  // namespace talvenor::testing
