#pragma once
// How far the running pass has got, as the status bar says it: the pass's title, the units
// done of the total, the rate and the time left. The progress window's functions keep it up
// to date from the host's clock; the desktop, the command line and the tests read the same text.
#include <cstdint>
#include <string>

namespace talvenor {

struct PassProgress {
    bool Running = false;
    std::string Title;           // "Alignment processing", without trailing blanks
    std::string Unit = "frames"; // what Done and Total count
    long long Done = 0, Total = 0;
    int64_t StartMs = 0;         // the host's clock when the pass began
    int64_t NowMs = 0;           // ... and at the last report
};

// Below this much running time a rate says more about the first frame than about the pass.
inline constexpr int64_t kRateAfterMs = 500;

// "Alignment processing: 412 / 2000 · 183 frames/s · 9 s left"; the rate and the time left
// only once the pass has run kRateAfterMs and done something; empty when no pass runs.
std::string ProgressText(const PassProgress& p);
// "9 s", "2 min 05 s", "1 h 03 min": whole seconds, rounded up so that 0 comes at the end.
std::string TimeLeftText(double seconds);

}  // namespace talvenor
