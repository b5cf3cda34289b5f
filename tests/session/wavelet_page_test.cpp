#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "session/page_change.h"
#include "session/tool_windows.h"
#include "session/still_on_wavelet_page.h"
#include "session/wavelet_handlers.h"
#include "session/wavelet_process.h"
#include "support/sanitized.h"
#include "support/picture_difference.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

using testing::StillOnWaveletPage;
using testing::MaxDifference;

TEST(WaveletPage, ASingleStillArrivesProcessedAndNeutralSettingsShowTheStack) {
    StillOnWaveletPage w;
    ASSERT_EQ(w.f().PageControl1.ActivePageIndex, kPageWavelets);
    ASSERT_TRUE(w.s->ws.StackReady);
    EXPECT_FALSE(w.s->ws.LayersStale);
    EXPECT_TRUE(w.f().SaveBMP2button.Enabled);
    // Neutral gains: the processed picture is the stack (the curve index rounds to 1/1000).
    EXPECT_LE(MaxDifference(w.picture(), w.f().Stackimage.Image), 1);
    // The image is smaller than the area: the area is the whole image and "Do all" is not offered.
    EXPECT_FALSE(w.f().DoAll.Visible);
    // Captions: the layer scales of the linear default, the gains on the layer buttons.
    EXPECT_EQ(w.f().CheckBox5.Caption, "1 : 1");
    EXPECT_EQ(w.f().layer1button.Caption, "1");
    EXPECT_EQ(w.f().ContrastSlider.Caption, "Contrast   : 100");
}

TEST(WaveletPage, GainsSharpenAndGoBackExactly) {
    StillOnWaveletPage w;
    const Bitmap24 neutral = w.picture();
    w.Set(w.f().RxSlider3, 30);
    EXPECT_EQ(w.f().layer1button.Caption, "3");
    EXPECT_GT(MaxDifference(w.picture(), neutral), 10);
    // Sharpening raises the local contrast inside the disk.
    w.Set(w.f().RxSlider3, 10);
    EXPECT_EQ(MaxDifference(w.picture(), neutral), 0);
    // A gain of 0 removes the finest layer: smoother, not the same.
    w.Set(w.f().RxSlider3, 0);
    EXPECT_GT(MaxDifference(w.picture(), neutral), 0);
    // Unchecking the layer does the same as a gain of 0 and disables its slider.
    const Bitmap24 noFinest = w.picture();
    w.Set(w.f().RxSlider3, 25);
    w.f().CheckBox5.Checked = false;
    w.s->Dispatch("CheckBox5", Event::Click);
    EXPECT_FALSE(w.f().RxSlider3.Enabled);
    EXPECT_EQ(MaxDifference(w.picture(), noFinest), 0);
}

TEST(WaveletPage, DraggingUpdatesCaptionsAndRebuildsOnlyWithAutoProcessing) {
    StillOnWaveletPage w;
    const Bitmap24 before = w.picture();
    w.f().RxSlider4.Value = 15;
    w.s->Dispatch("RxSlider4", Event::Tracking);
    EXPECT_EQ(w.f().layer2button.Caption, "1.5");
    EXPECT_EQ(MaxDifference(w.picture(), before), 0);
    w.f().AutoProcessBox.Checked = true;
    w.s->Dispatch("AutoProcessBox", Event::Click);
    EXPECT_FALSE(w.f().ProcessButton.Visible);
    w.f().RxSlider4.Value = 40;
    w.s->Dispatch("RxSlider4", Event::Tracking);
    EXPECT_GT(MaxDifference(w.picture(), before), 0);
}

TEST(WaveletPage, ArrowKeysStepContrastAndBrightness) {
    StillOnWaveletPage w;
    EventArgs right;
    right.Key = kKeyRight;
    w.s->Dispatch("ContrastSlider", Event::KeyDown, right);
    EXPECT_EQ(w.f().ContrastSlider.Value, 110);
    EXPECT_EQ(w.f().ContrastSlider.Caption, "Contrast   : 110");
    EventArgs left;
    left.Key = kKeyLeft;
    left.Ctrl = true;
    w.s->Dispatch("BrightnessSlider", Event::KeyDown, left);
    EXPECT_EQ(w.f().BrightnessSlider.Value, -1);
}

TEST(WaveletPage, HoldingALayerButtonPreviewsTheLayerAndTheReleaseRestores) {
    StillOnWaveletPage w;
    const Bitmap24 shown = w.picture();
    w.s->Dispatch("layer1button", Event::MouseDown);
    int red = 0, green = 0, blue = 0;
    for (int y = 20; y < 160; ++y)
        for (int x = 20; x < 220; ++x) {
            const Bgr p = w.picture().Pixel(x, y);
            red += p.r > 0;
            green += p.g > 0;
            blue += p.b > 0;
        }
    // Detail both ways: red where the layer darkens, green where it brightens, never blue (the
    // yellow text aside, which lies above row 20 only partly).
    EXPECT_GT(red, 1000);
    EXPECT_GT(green, 1000);
    EXPECT_GT(MaxDifference(w.picture(), shown), 50);
    w.s->Dispatch("layer1button", Event::MouseUp);
    EXPECT_EQ(MaxDifference(w.picture(), shown), 0);
    (void)blue;
}

TEST(WaveletPage, ResetReturnsEverySettingAndANewInputKeepsThemOnlyWhenHeld) {
    StillOnWaveletPage w;
    const Bitmap24 neutral = w.picture();
    w.Set(w.f().RxSlider5, 44);
    w.Set(w.f().ContrastSlider, 180);
    w.f().LevelStep.Value = 3;
    w.s->Dispatch("LevelStep", Event::Change);
    EXPECT_EQ(w.f().CheckBox5.Caption, "1 : 3");
    w.s->Dispatch("ResetButton", Event::Click);
    EXPECT_EQ(w.f().RxSlider5.Value, 10);
    EXPECT_EQ(w.f().ContrastSlider.Value, 100);
    EXPECT_EQ(w.f().LevelStep.Value, 1);
    EXPECT_EQ(MaxDifference(w.picture(), neutral), 0);

    w.Set(w.f().RxSlider6, 70);
    w.f().HoldWavelets.Checked = true;
    w.f().CheckBox7.Checked = false;
    ResetWaveletsForNewInput(*w.s);
    EXPECT_EQ(w.f().RxSlider6.Value, 70);
    EXPECT_TRUE(w.f().CheckBox7.Checked);
    w.f().HoldWavelets.Checked = false;
    // An edited gamma curve goes with the rest: the graph shows the default points again.
    EventArgs e;
    e.Button = MouseButton::Right;
    e.X = 60;
    e.Y = 150;
    w.s->Dispatch("GammaSplineGraph", Event::MouseDown, e);
    ASSERT_EQ(w.s->wavelets.GammaSpline.PointCount(), 4);
    ResetWaveletsForNewInput(*w.s);
    EXPECT_EQ(w.f().RxSlider6.Value, 10);
    EXPECT_EQ(w.s->wavelets.GammaSpline.PointCount(), 3);
    EXPECT_NEAR(w.s->ws.GammaCurve[500], 0.5, 1e-5);
}

using testing::kSanitized;

long VmSizeKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmSize:", 0) == 0) return std::stol(line.substr(7));
    return -1;
}

// "full" asks for about 1.4 GB of layer planes. On a machine that cannot give them the user is
// told, and the page keeps working with the area it had. Run in a child process whose address
// space is capped a few hundred megabytes above what it holds.
TEST(WaveletPage, AnAreaTheMemoryCannotHoldIsRefusedAndThePreviousOneStays) {
    if (kSanitized) GTEST_SKIP() << "address-space caps and sanitizers do not mix";
    StillOnWaveletPage w;
    const int before = w.f().Processarea.ItemIndex;
    ASSERT_EQ(w.s->ws.ProcessAreaMax, 512);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const rlim_t limit = rlim_t(VmSizeKb() + (300L << 10)) * 1024;
        const rlimit cap{limit, limit};
        setrlimit(RLIMIT_AS, &cap);
        w.f().Processarea.SelectText("full");
        std::string message;  // what the window shows the user
        try {
            w.s->Dispatch("Processarea", Event::Change);
        } catch (const Error& e) {
            message = e.what();
        }
        char report[512];
        std::snprintf(report, sizeof report, "%d %d %d %s", !message.empty(), w.f().Processarea.ItemIndex,
                      w.s->ws.ProcessAreaMax, message.c_str());
        [[maybe_unused]] const ssize_t written = write(fds[1], report, std::strlen(report) + 1);
        _exit(0);
    }
    close(fds[1]);
    char report[512] = {};
    [[maybe_unused]] const ssize_t got = read(fds[0], report, sizeof report - 1);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    int told = 0, item = -1, side = 0, used = 0;
    ASSERT_EQ(std::sscanf(report, "%d %d %d %n", &told, &item, &side, &used), 3) << report;
    EXPECT_EQ(told, 1);
    EXPECT_EQ(item, before);
    EXPECT_EQ(side, 512);
    EXPECT_NE(std::string(report + used).find("the area stays 512 x 512"), std::string::npos) << report;
}

TEST(WaveletPage, DoAllCoversTheWholeImageTileByTileAndKeepsTheAreaLive) {
    StillOnWaveletPage w(300, 210);
    w.f().Processarea.ItemIndex = 5;  // 128
    w.s->Dispatch("Processarea", Event::Change);
    EXPECT_TRUE(w.s->ws.LayersStale);
    w.s->ws.ProcessAreaLeft = 90;
    w.s->ws.ProcessAreaTop = 40;
    w.s->Dispatch("ProcessButton", Event::Click);
    EXPECT_TRUE(w.f().DoAll.Visible);
    // Brightness lifts every redrawn pixel, so a pixel left at the stack was never redrawn.
    w.Set(w.f().BrightnessSlider, 60);
    w.s->Dispatch("DoAll", Event::Click);
    const Bitmap24& stacked = w.f().Stackimage.Image;
    int untouched = 0;
    for (int y = 0; y < 210; ++y)
        for (int x = 0; x < 300; ++x) {
            untouched += w.picture().Pixel(x, y).g <= stacked.Pixel(x, y).g && stacked.Pixel(x, y).g < 255;
        }
    EXPECT_EQ(untouched, 0);
    EXPECT_EQ(w.s->ws.ProcessAreaLeft, 90);
    EXPECT_EQ(w.s->ws.ProcessAreaTop, 40);
    EXPECT_EQ(w.f().DoAllspeed.Caption.rfind("Time used :", 0), 0u);

    // Scales too large for the area leave no tile step: nothing is tiled, nothing breaks.
    w.f().LevelStep.Value = 32;
    w.f().Multiplicant.Value = 32;
    w.s->Dispatch("DoAll", Event::Click);
    EXPECT_FALSE(w.s->ws.LayersStale);
}

TEST(WaveletPage, CancellingDoAllStopsAfterTheTileInHandAndLeavesTheAreaLive) {
    StillOnWaveletPage w(300, 210);
    w.f().Processarea.ItemIndex = 5;  // 128: nine tiles
    w.s->Dispatch("Processarea", Event::Change);
    w.s->Dispatch("ProcessButton", Event::Click);
    w.Set(w.f().BrightnessSlider, 60);
    // The user presses the progress window's Cancel while the first tile is shown.
    int pumps = 0;
    w.t.host.OnPump = [&] {
        if (++pumps == 1) w.s->Dispatch("ProgressCancel", Event::Click);
    };
    w.s->Dispatch("DoAll", Event::Click);
    w.t.host.OnPump = nullptr;
    EXPECT_EQ(pumps, 1);
    EXPECT_FALSE(w.f().MessageWindow.Visible);
    EXPECT_FALSE(w.s->ws.LayersStale);
    // The bottom-right corner was never tiled: it still shows the plain stack.
    EXPECT_EQ(w.picture().Pixel(295, 205), w.f().Stackimage.Image.Pixel(295, 205));
    // The area is live again: a change of brightness reaches it.
    const int cx = w.s->ws.ProcessAreaLeft + 64, cy = w.s->ws.ProcessAreaTop + 64;
    w.Set(w.f().BrightnessSlider, 0);
    const int before = w.picture().Pixel(cx, cy).g;
    w.Set(w.f().BrightnessSlider, 40);
    EXPECT_GT(w.picture().Pixel(cx, cy).g, before);
}

TEST(WaveletPage, ClickingTheImageMovesTheAreaAndTheReleaseDecomposesThere) {
    StillOnWaveletPage w(300, 210);
    w.f().Processarea.ItemIndex = 5;
    w.s->Dispatch("Processarea", Event::Change);
    w.s->Dispatch("ProcessButton", Event::Click);
    w.f().ShowProcessingArea.Checked = true;
    w.s->Dispatch("ShowProcessingArea", Event::Click);
    EventArgs click;
    click.Button = MouseButton::Left;
    click.X = 200;
    click.Y = 150;
    w.s->Dispatch("ProcessImage", Event::MouseDown, click);
    EXPECT_EQ(w.s->ws.ProcessAreaLeft, 136);
    EXPECT_EQ(w.s->ws.ProcessAreaTop, 86);
    EXPECT_EQ(w.s->ws.AlignX, 200);
    w.s->Dispatch("ProcessImage", Event::MouseUp, click);
    EXPECT_FALSE(w.s->ws.LayersStale);
    // Corner marks: white (XOR) at the area's top-left corner; rebuilding twice keeps them.
    const Bgr stack = w.f().Stackimage.Image.Pixel(136, 86);
    const Bgr marked = w.picture().Pixel(136, 86);
    EXPECT_EQ(marked.g, uint8_t(stack.g ^ 0xFF));
    w.Set(w.f().RxSlider3, 20);
    w.Set(w.f().RxSlider3, 21);
    EXPECT_EQ(w.picture().Pixel(136, 86), marked);
    w.f().ShowProcessingArea.Checked = false;
    w.s->Dispatch("ShowProcessingArea", Event::Click);
    EXPECT_EQ(w.picture().Pixel(136, 86), stack);
}

TEST(WaveletPage, FilterWindowReadsItsSpinsColumnFirstAndNormalises) {
    StillOnWaveletPage w;
    for (Control* c : w.f().All())
        if (c->Name.rfind("Filter", 0) == 0 && c->Kind == ControlKind::SpinEdit) static_cast<SpinEdit*>(c)->Value = 0;
    w.f().Filter10.Value = 3;  // column 1, row 0
    w.f().Filter22.Value = 1;
    w.s->Dispatch("SetFilter", Event::Click);
    EXPECT_FLOAT_EQ(w.s->wavelets.Kernel[1], 0.75f);
    EXPECT_FLOAT_EQ(w.s->wavelets.Kernel[12], 0.25f);
    EXPECT_FALSE(w.s->ws.LayersStale);  // Process ran
    w.s->Dispatch("ResetFilter", Event::Click);
    EXPECT_EQ(w.f().Filter22.Value, 50);
    EXPECT_FLOAT_EQ(w.s->wavelets.Kernel[12], 50.0f / 98.0f);
}

TEST(WaveletPage, ChannelShiftButtonsMoveTheRedPlane) {
    StillOnWaveletPage w;
    ASSERT_TRUE(w.f().ColourStack.Checked);
    w.s->Dispatch("Button18", Event::Click);  // red right
    w.s->Dispatch("Button16", Event::Click);  // red up
    EXPECT_EQ(w.f().RDXSpin.Value, 1);
    EXPECT_EQ(w.s->ws.RedShiftX, -1);
    EXPECT_EQ(w.s->ws.RedShiftY, 1);
    // The working red plane (before the layers take it apart) is the stack's red moved one right
    // and one up.
    BuildWorkingPlanesFromControls(*w.s);
    EXPECT_EQ(w.s->ws.ResultPlanes[0].Get(101, 80), w.s->ws.StackSum[0].Get(100, 81));
    w.s->Dispatch("Button4", Event::Click);
    EXPECT_EQ(w.s->ws.RedShiftX, 0);
}

TEST(WaveletPage, GammaWindowEditsTheCurveAndTheTableFollows) {
    StillOnWaveletPage w;
    Controls& f = w.f();
    f.Gamma1spin.Value = 2.0;
    w.s->Dispatch("Gamma1spin", Event::Change);
    EXPECT_NEAR(w.s->ws.GammaCurve[250], 0.5, 1e-5);
    const Bitmap24 gamma2 = w.picture();
    f.Gamma1spin.Value = 0;
    w.s->Dispatch("Gamma1spin", Event::Change);
    EXPECT_EQ(f.Gamma1spin.Value, 1.0);
    EXPECT_DOUBLE_EQ(w.s->ws.GammaCurve[1000], 1.000001);
    EXPECT_GT(MaxDifference(w.picture(), gamma2), 0);

    TBSpline& spline = w.s->wavelets.GammaSpline;
    EventArgs e;
    e.Button = MouseButton::Right;
    e.X = 60;
    e.Y = 150;
    w.s->Dispatch("GammaSplineGraph", Event::MouseDown, e);
    ASSERT_EQ(spline.PointCount(), 4);
    EXPECT_EQ(spline.GetPoint(2).first, 60);
    // Dragging the middle point onto its neighbour is refused; a move within the gaps is taken.
    e.Button = MouseButton::Left;
    e.X = 70;
    e.Y = 128;
    w.s->Dispatch("GammaSplineGraph", Event::MouseMove, e);  // too far from every point
    e.X = 118;
    w.s->Dispatch("GammaSplineGraph", Event::MouseMove, e);
    EXPECT_EQ(spline.GetPoint(3).first, 118);
    // Point 2 (60, 150) dragged right towards point 3 stops 15 pixels before it.
    e.Y = 150;
    for (e.X = 72; e.X <= 108; e.X += 12) w.s->Dispatch("GammaSplineGraph", Event::MouseMove, e);
    EXPECT_EQ(spline.GetPoint(2).first, 96);
    EXPECT_EQ(spline.GetPoint(3).first, 118);
    for (e.Y = 120; e.Y >= 80; e.Y -= 8) {
        e.X = 120;
        w.s->Dispatch("GammaSplineGraph", Event::MouseMove, e);
    }
    EXPECT_EQ(spline.GetPoint(3), std::make_pair(120.0f, 80.0f));
    w.s->Dispatch("GammaSplineGraph", Event::MouseUp, e);
    // Output 1 - 80/255 at input 120/255: the table follows the curve through the point.
    EXPECT_NEAR(w.s->ws.GammaCurve[std::size_t(std::lrint(120 * 1000 / 255.0))], (255 - 80) / 255.0, 0.01);
    // Ctrl + left click deletes an interior point; double-click resets.
    e.Ctrl = true;
    w.s->Dispatch("GammaSplineGraph", Event::MouseDown, e);
    EXPECT_EQ(spline.PointCount(), 3);
    w.s->Dispatch("GammaSplineGraph", Event::DblClick, e);
    EXPECT_EQ(spline.GetPoint(2), std::make_pair(128.0f, 128.0f));
    EXPECT_NEAR(w.s->ws.GammaCurve[500], 0.5, 1.0 / 255);
}

}  // namespace
}  // namespace talvenor
