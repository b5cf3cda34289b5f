#include <gtest/gtest.h>

#include "registration/align_step.h"
#include "registration/reference.h"
#include "workspace/scripted_host.h"
#include "workspace/user_store.h"

namespace talvenor {
namespace {

// A picture with detail on both axes: a bright square and a diagonal bar on a gradient.
Bitmap24 Pattern(int width, int height, int dx, int dy) {
    Bitmap24 b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int u = x - dx, v = y - dy;
            int value = 40 + (u * 3 + v * 2) % 50;
            if (u > 150 && u < 170 && v > 110 && v < 125) value = 230;
            if (std::abs((u - 140) - (v - 100)) < 3 && u > 130 && u < 180) value = 200;
            if ((u - 175) * (u - 175) + (v - 140) * (v - 140) < 36) value = 10;
            const uint8_t g = uint8_t(std::clamp(value, 0, 255));
            b.SetPixel(x, y, Bgr{g, g, g});
        }
    return b;
}

struct Fixture {
    Workspace ws;
    Controls form;
    ScriptedHost host;
    UserStore store;
    AppContext c{ws, form, host, store};
    FftEngine fft;
    AlignmentState a;

    Fixture(int n) {
        fft.SetTransformSize(n);
        ws.AlignBoxSize = n;
        ws.ImageWidth = ws.SourceWidth = 320;
        ws.ImageHeight = ws.SourceHeight = 240;
        ws.AlignX = 160;
        ws.AlignY = 120;
        a.AlignBoxX = ws.AlignX - n / 2;
        a.AlignBoxY = ws.AlignY - n / 2;
        ws.CurrentFrameImage = Pattern(320, 240, 0, 0);
        form.PreviewImage.Image = ws.CurrentFrameImage;
        CalculateReferenceFFT(c, fft, a);
        ws.LastFrame = 9;
        ws.SelectedCount = 10;
    }
    std::pair<int, int> Align(int frame, int dx, int dy) {
        ws.CurrentFrame = frame;
        ws.CurrentFrameImage = Pattern(320, 240, dx, dy);
        AlignStep(c, fft, a);
        return {ws.Frames[std::size_t(frame)].ShiftX, ws.Frames[std::size_t(frame)].ShiftY};
    }
};

TEST(AlignStep, FindsTheFeaturesDisplacement) {
    for (int n : {32, 64, 128}) {
        Fixture f(n);
        f.form.Followme.Checked = false;
        SCOPED_TRACE(n);
        EXPECT_EQ(f.Align(0, 0, 0), std::make_pair(0, 0));
        EXPECT_EQ(f.Align(1, 3, 2), std::make_pair(3, 2));
        EXPECT_EQ(f.Align(2, -5, 4), std::make_pair(-5, 4));
        EXPECT_EQ(f.Align(3, 7, -6), std::make_pair(7, -6));
    }
}

}  // namespace
}  // namespace talvenor
