// Saves are what the screen would show after "Do all": with partial processing on, every save
// and copy of the processed or final picture processes the whole image first, once.
#include <gtest/gtest.h>

#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "session/page_change.h"
#include "session/tool_windows.h"
#include "session/wavelet_process.h"
#include "still_on_wavelet_page.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::StillOnWaveletPage;

// A 640 x 480 still sharpened and brightened on the Wavelet page; the area covers only its middle.
struct Sharpened : StillOnWaveletPage {
    Sharpened() : StillOnWaveletPage(640, 480) {
        Set(f().RxSlider3, 40);
        Set(f().BrightnessSlider, 40);
    }
    fs::path Save(const char* button, const std::string& name, int type) {
        t.host.SaveChoices.push_back(FileChoice{{(t.appDir / name).string()}, type});
        s->Dispatch(button, Event::Click);
        return t.appDir / name;
    }
};

// The pixels a file holds, whatever its type (the recipe and the folder it names differ).
std::vector<uint16_t> PixelsOf(const fs::path& file, int type) {
    TTIFFBitMap wide;
    const auto samples = [](const Bitmap24& b) {
        std::vector<uint16_t> v;
        for (int y = 0; y < b.Height(); ++y) v.insert(v.end(), b.Row(y), b.Row(y) + 3 * b.Width());
        return v;
    };
    switch (type) {
        case 1: return samples(ReadBmp(file));
        case 2: return samples(ReadJpeg(file));
        case 3: {
            std::vector<uint16_t> v;
            for (const char* c : {"_R.fit", "_G.fit", "_B.fit"}) {
                const DecodedImage d = ReadFitsImage(file.parent_path() / (file.stem().string() + c), false);
                v.insert(v.end(), d.Samples.begin(), d.Samples.end());
            }
            return v;
        }
        case 4: LoadFromFile(wide, file); break;
        default: ToWideBitmap(ReadPng(file), wide); break;
    }
    return {wide.Wide.begin(), wide.Wide.end()};
}

const struct {
    const char* ext;
    int type;
} kTypes[] = {{".bmp", 1}, {".jpg", 2}, {".fit", 3}, {".tif", 4}, {".png", 5}};

TEST(WholePictureSave, EverySaveRightAfterPartialProcessingEqualsTheSaveAfterDoAll) {
    Sharpened quick, full;
    // The outline shows by default while the processing is partial.
    ASSERT_TRUE(quick.f().ShowProcessingArea.Checked);
    ASSERT_TRUE(quick.s->wavelets.MarksDrawn);
    ASSERT_FALSE(WholePictureProcessed(*quick.s));
    full.s->Dispatch("DoAll", Event::Click);
    ASSERT_TRUE(WholePictureProcessed(*full.s));
    EXPECT_FALSE(full.s->wavelets.MarksDrawn);

    // The resize window's save at 100% processes the whole image before it writes.
    quick.s->Dispatch("BitBtn11", Event::Click);
    full.s->Dispatch("BitBtn11", Event::Click);
    EXPECT_EQ(ReadBmp(quick.Save("SaveShrink", "shrunk.bmp", 1)), full.f().ShrinkImage.Image);
    EXPECT_FALSE(quick.s->wavelets.MarksDrawn);

    // Nothing changed since: no save processes again (the tiles pump as they go).
    const int pumps = quick.t.host.PumpCount;
    for (const auto& c : kTypes) {
        const std::string name = std::string("processed") + c.ext;
        EXPECT_EQ(PixelsOf(quick.Save("SaveBMP2button", name, c.type), c.type),
                  PixelsOf(full.Save("SaveBMP2button", name, c.type), c.type))
            << name;
    }
    EXPECT_EQ(quick.t.host.PumpCount, pumps);

    // A setting changed: the Final page processes the whole image again before it renders.
    for (Sharpened* w : {&quick, &full}) {
        w->Set(w->f().RxSlider4, 25);
        if (w == &full) w->s->Dispatch("DoAll", Event::Click);
        GoToPage(*w->s, kPageFinal);
    }
    EXPECT_EQ(quick.f().RotateImage.Image, full.f().RotateImage.Image);
    for (const auto& c : kTypes) {
        const std::string name = std::string("final") + c.ext;
        EXPECT_EQ(PixelsOf(quick.Save("BitBtn8", name, c.type), c.type), PixelsOf(full.Save("BitBtn8", name, c.type), c.type))
            << name;
    }
}

TEST(WholePictureSave, ACancelledWholePictureRunWritesNothingAndSaysSo) {
    const struct {
        int page;
        const char* button;
    } cases[] = {{kPageWavelets, "SaveBMP2button"}, {kPageFinal, "BitBtn8"}, {kPageFinal, "BitBtn9"}};
    for (const auto& c : cases) {
        Sharpened w;
        w.t.host.OnPump = [&w] { w.s->ws.CancelRequested = true; };
        GoToPage(*w.s, c.page);
        const fs::path file = w.Save(c.button, "result.bmp", 1);
        EXPECT_FALSE(fs::exists(file)) << c.button;
        EXPECT_FALSE(w.t.host.Clipboard.has_value()) << c.button;
        ASSERT_FALSE(w.t.host.Messages.empty()) << c.button;
        const std::string said = w.t.host.Messages.back().Text;
        EXPECT_EQ(said.rfind("Processing cancelled: nothing was ", 0), 0u) << c.button << ": " << said;
    }
}

}  // namespace
}  // namespace talvenor
