#include "session/noise_window.h"

#include <cmath>
#include <cstdio>

#include "session/wavelet_process.h"
#include "wavelets/noise.h"

namespace talvenor {

namespace {

bool ThreeChannels(const Controls& f) { return f.ColourStack.Checked && !f.LRGB2.Checked; }

// A slider the program re-ranges and moves runs its change when its value moved at either
// step (a narrower range may push the value first), as the control does for a user.
void RerangeAndMove(Slider& slider, int minValue, int maxValue, int value, const std::function<void()>& changed) {
    const int before = slider.Value;
    slider.MinValue = minValue;
    slider.MaxValue = maxValue;
    slider.SetValue(slider.Value);
    const int clamped = slider.Value;
    slider.SetValue(value);
    if (clamped != before || slider.Value != clamped) changed();
}

void SetAntiRingLevelFromSlider(Session& s) {
    s.wavelets.AntiRingLevel = float(s.form.AntiRingSlider.Value * 0.001);
    RebuildImage(s);
}

}  // namespace

Slider& NoiseSlider(Controls& f, int n) {
    Slider* sliders[] = {&f.Noise1, &f.Noise2, &f.Noise3, &f.noise4, &f.noise5, &f.noise6};
    return *sliders[n - 1];
}

void SetThresholdFromSlider(Session& s, int n) {
    s.wavelets.NoiseThreshold[std::size_t(n)] = float(NoiseSlider(s.form, n).Value * 0.001);
    if (s.form.ActiveNoise.Checked) RebuildImage(s);
}

void ApplyEstimator(Session& s) {
    Controls& f = s.form;
    WaveletState& w = s.wavelets;
    const auto method = NoiseEstimator(std::clamp(f.Denoise.ItemIndex, 0, 4));
    w.NoiseThreshold = EstimatedThresholds(method, f.stdevfactor.Value, w.LayerVariance, w.LayerMeanAbs, w.Ratios);
    // Each slider ends in the middle of a range reaching twice its estimate; a slider whose
    // value moves takes its threshold from the rounded value.
    for (int n = 1; n <= kLayers; ++n) {
        Slider& slider = NoiseSlider(f, n);
        const int maxValue = int(std::nearbyint(w.NoiseThreshold[std::size_t(n)] * 1000)) * 2 + 1;
        RerangeAndMove(slider, slider.MinValue, maxValue, maxValue / 2, [&s, n] {
            s.wavelets.NoiseThreshold[std::size_t(n)] = float(NoiseSlider(s.form, n).Value * 0.001);
        });
    }
    RebuildImage(s);
}

void PickAntiRingLevel(Session& s, int x, int y) {
    Controls& f = s.form;
    WaveletState& w = s.wavelets;
    if (!s.ws.StackReady || !s.ws.ResultPlanes[1].Allocated()) return;
    const float level = AntiRingPickLevel(s.ws, ThreeChannels(f), x, y);
    w.AntiRingLevel = level;
    char caption[48];
    std::snprintf(caption, sizeof caption, "Antiring %.15g", std::nearbyint(level * 100.0) * 0.01);
    f.AntiRing.Caption = caption;
    // The slider spans 0.1 to 5 times the level and starts at twice it.
    if (level >= 0)
        RerangeAndMove(f.AntiRingSlider, int(std::nearbyint(level * 100.0)), int(std::nearbyint(level * 5000.0)),
                       int(std::nearbyint(level * 2000.0)), [&s] { SetAntiRingLevelFromSlider(s); });
    else
        RerangeAndMove(f.AntiRingSlider, int(std::nearbyint(level * 5000.0)), int(std::nearbyint(std::fabs(level) * 5000.0)),
                       int(std::nearbyint(level * 1000.0)), [&s] { SetAntiRingLevelFromSlider(s); });
}

void RegisterNoiseWindowHandlers(Session& s) {
    Handlers& h = s.handlers;
    h.On("Denoise", Event::Click, [&s] { ApplyEstimator(s); });
    for (int n = 1; n <= kLayers; ++n)
        h.On(NoiseSlider(s.form, n).Name, Event::Change, [&s, n] { SetThresholdFromSlider(s, n); });
    h.On("AntiRingSlider", Event::Change, [&s] { SetAntiRingLevelFromSlider(s); });
    h.On("ProcessImage", Event::MouseDown, Handlers::Fn([&s](const EventArgs& e) {
             const bool plainLeft = e.Button == MouseButton::Left && !e.Shift && !e.Ctrl && !e.Alt;
             if (!plainLeft && e.Button != MouseButton::None) PickAntiRingLevel(s, e.X, e.Y);
         }));
}

}  // namespace talvenor
