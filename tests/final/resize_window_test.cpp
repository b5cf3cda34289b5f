#include "final/resize_window.h"

#include <gtest/gtest.h>

#include "stacking/resample.h"

namespace talvenor {
namespace {

TEST(ResizeSizes, WindowFitKeepsTheAspectInsideTheRoomLeft) {
    const struct {
        const char* what;
        int windowWidth, windowHeight;
        PictureSize aspect, expected;
    } cases[] = {
        {"wider than the aspect: height-limited", 1200, 424, {200, 100}, {800, 400}},
        {"higher than the aspect: width-limited", 600, 1000, {200, 100}, {400, 200}},
        {"width-limited, rounded", 301, 1000, {3, 2}, {100, 67}},  // 67 x 1.5 = 100.5
        {"height-limited, rounded", 1000, 125, {3, 2}, {152, 101}},  // 151.5
        {"window smaller than the strip", 150, 500, {4, 3}, {0, 0}},
        {"empty picture has no aspect", 800, 600, {0, 5}, {0, 0}},
        {"a thin picture keeps a pixel", 300, 400, {1000, 1}, {100, 1}},
        {"a tall thin one too", 300, 400, {1, 1000}, {1, 376}},
        {"huge window", 100000, 100000, {2, 1}, {8192, 4096}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitPictureToWindow(c.windowWidth, c.windowHeight, kResizeStripWidth, c.aspect), c.expected) << c.what;
}

TEST(ResizeSizes, PictureInTheWindowMadeForItFitsItAgain) {
    // Every rebuild refits the picture to the window it is shown in; that must not creep.
    for (int w = 1; w <= 700; w += 23)
        for (int h = 1; h <= 700; h += 29)
            for (int strip : {kResizeStripWidth, kResizeOriginalStripAfter}) {
                const PictureSize window = WindowAroundPicture({w, h}, strip);
                ASSERT_EQ(FitPictureToWindow(window.Width, window.Height, strip, {w, h}), (PictureSize{w, h}))
                    << w << " x " << h << " strip " << strip;
            }
}

TEST(ResizeSizes, OriginalIsTheFrameBeforeResamplingOrTheExpandedStack) {
    const struct {
        const char* what;
        int width, height;
        bool resampled;
        double factor;
        PictureSize expanded, expected;
    } cases[] = {
        {"resampled past the limit both ways", 3000, 2800, true, 1.5, {}, {2731, 2731}},
        {"exactly at the limit", 2048, 2048, true, 2.0, {}, {2048, 2048}},
        {"not resampled: no cut", 4096, 3000, false, 2.0, {}, {4096, 3000}},
        {"expanded wins over resampling", 3000, 1000, true, 2.0, {700, 500}, {700, 500}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OriginalFrameSize(c.width, c.height, c.resampled, c.factor, c.expanded), c.expected) << c.what;
}

TEST(ResizeResample, EachListEntryUsesItsOwnFilterAndEmptyPicturesAreLeftAlone) {
    Bitmap24 source(9, 7);
    source.Fill(Bgr{10, 20, 30});
    source.SetPixel(4, 3, Bgr{250, 200, 150});
    const struct {
        int item;
        FilterFunction filter;
        float support;
    } cases[] = {{0, BellFilter, 1.5f}, {1, BSplineFilter, 2.0f}, {2, Lanczos3Filter, 3.0f}, {3, MitchellFilter, 2.0f}};
    for (const auto& c : cases) {
        Bitmap24 expected(13, 10), got(13, 10);
        Stretch(source, expected, c.filter, c.support);
        ResamplePicture(source, c.item, got);
        EXPECT_EQ(got, expected) << "item " << c.item;
    }
    Bitmap24 out(4, 3);
    out.Fill(Bgr{1, 2, 3});
    const Bitmap24 before = out;
    ResamplePicture(Bitmap24(), 1, out);
    EXPECT_EQ(out, before);
}

}  // namespace
}  // namespace talvenor
