// What the status bar says of a running pass, with a clock the test steps.
#include <gtest/gtest.h>

#include "workspace/controls.h"
#include "workspace/pass_progress.h"
#include "workspace/progress_window.h"
#include "workspace/scripted_host.h"

namespace talvenor {
namespace {

TEST(PassProgress, CountsThenRateAndTimeLeftOnceThePassHasRunHalfASecond) {
    const struct {
        const char* title;
        const char* unit;
        int64_t elapsedMs;
        long long done, total;
        const char* text;
    } cases[] = {
        {"Alignment processing", "frames", 0, 0, 2000, "Alignment processing: 0 / 2000"},
        {"Alignment processing", "frames", 400, 80, 2000, "Alignment processing: 80 / 2000"},
        {"Alignment processing", "frames", 2250, 412, 2000, "Alignment processing: 412 / 2000 \xC2\xB7 183 frames/s \xC2\xB7 9 s left"},
        {"Stacking frames", "frames", 1000, 0, 500, "Stacking frames: 0 / 500"},
        {"Stacking frames", "frames", 10000, 100, 1000, "Stacking frames: 100 / 1000 \xC2\xB7 10 frames/s \xC2\xB7 1 min 30 s left"},
        {"Stacking frames", "frames", 20000, 10, 5000, "Stacking frames: 10 / 5000 \xC2\xB7 0.5 frames/s \xC2\xB7 2 h 46 min left"},
        {"Wavelet layers ", "layers", 1500, 3, 6, "Wavelet layers: 3 / 6 \xC2\xB7 2.0 layers/s \xC2\xB7 2 s left"},
        {"Processing all", "tiles", 3000, 4, 4, "Processing all: 4 / 4 \xC2\xB7 1.3 tiles/s \xC2\xB7 0 s left"},
        {"Writing", "steps", 800, 5, 0, "Writing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Controls form;
        ScriptedHost host;
        host.Clock = 7000;
        ShowProgress(form, host, c.title, c.unit);
        host.Clock += c.elapsedMs;
        SetProgress(form, host, c.done, c.total);
        EXPECT_EQ(ProgressText(form.StatusProgress), c.text);
    }
}

// A second reading of the frames restarts the rate; hiding ends the text.
TEST(PassProgress, ARestartedCountRestartsTheRate) {
    Controls form;
    ScriptedHost host;
    ShowProgress(form, host, "Stacking frames");
    for (const auto [clock, done] : {std::pair{4000, 400}, {5000, 0}, {6000, 150}}) {
        host.Clock = clock;
        SetProgress(form, host, done, 400);
    }
    EXPECT_EQ(ProgressText(form.StatusProgress), "Stacking frames: 150 / 400 \xC2\xB7 150 frames/s \xC2\xB7 2 s left");
    HideProgress(form, host);
    EXPECT_EQ(ProgressText(form.StatusProgress), "");
}

}  // namespace
}  // namespace talvenor
