#include "workspace/pass_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace talvenor {

namespace {
// Whole units from ten a second up; slower passes (wavelet layers, tiles) keep one decimal.
std::string RateText(double perSecond, const std::string& unit) {
    char text[48];
    if (perSecond >= 10)
        std::snprintf(text, sizeof text, "%lld", (long long)std::llround(perSecond));
    else
        std::snprintf(text, sizeof text, "%.1f", perSecond);
    return text + (" " + unit + "/s");
}
}  // namespace

std::string TimeLeftText(double seconds) {
    const long long s = std::max(0LL, (long long)std::ceil(seconds));
    char text[48];
    if (s < 60)
        std::snprintf(text, sizeof text, "%lld s", s);
    else if (s < 3600)
        std::snprintf(text, sizeof text, "%lld min %02lld s", s / 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld h %02lld min", s / 3600, s % 3600 / 60);
    return text;
}

std::string ProgressText(const PassProgress& p) {
    if (!p.Running) return {};
    std::string text = p.Title;
    if (p.Total <= 0) return text;
    text += ": " + std::to_string(p.Done) + " / " + std::to_string(p.Total);
    const int64_t elapsed = p.NowMs - p.StartMs;
    if (elapsed < kRateAfterMs || p.Done <= 0) return text;
    const double rate = double(p.Done) * 1000.0 / double(elapsed);
    text += " \xC2\xB7 " + RateText(rate, p.Unit);
    text += " \xC2\xB7 " + TimeLeftText(double(std::max(0LL, p.Total - p.Done)) / rate) + " left";
    return text;
}

}  // namespace talvenor
