// One picture opened on its own (chosen, dropped or given at start) is its own stack at its full
// precision: it lands on the Wavelet page ready to save; two pictures still make a series.
#include <gtest/gtest.h>

#include "imagefiles/png_file.h"
#include "session/input_selection.h"
#include "session/result_save.h"
#include "session/session_fixture.h"
#include "session/tool_windows.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

// A 16-bit picture whose left and right halves differ by less than one 8-bit level.
TTIFFBitMap FineLevels() {
    TTIFFBitMap image;
    image.CreateWide(41, 31);
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 41; ++x)
            for (int c = 0; c < 3; ++c) image.SetSample(x, y, c, uint16_t(x < 20 ? 30000 : 30100));
    return image;
}

enum class Route { Chosen, Dropped, Given };

// The picture chosen in the input dialog, dropped on the window, or given when the program starts.
Session& Open(testing::StartedSession& t, const std::vector<std::string>& files, Route route) {
    if (route == Route::Given) return t.Start(files);
    t.Start();
    if (route == Route::Dropped) {
        t.session->Dispatch("MainForm", Event::FilesDropped, EventArgs{.Files = files});
    } else {
        t.host.OpenChoices.push_back(FileChoice{files, 1});
        t.session->Dispatch("SelectFileButton", Event::Click);
    }
    return *t.session;
}

TEST(SingleStill, OpensAsItsOwnStackOnTheWaveletPage) {
    const struct {
        const char* name;
        Route route;
    } cases[] = {{"still.tif", Route::Chosen}, {"still.tif", Route::Dropped}, {"still.tif", Route::Given},
                 {"still.png", Route::Chosen}, {"still.png", Route::Dropped}, {"still.png", Route::Given}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " route " + std::to_string(int(c.route)));
        testing::StartedSession t;
        const fs::path file = t.appDir / c.name;
        if (file.extension() == ".tif") SaveWideImage(FineLevels(), 40, 30, file);
        else WritePng16(file, FineLevels(), 40, 30);
        Session& s = Open(t, {file.string()}, c.route);
        EXPECT_TRUE(s.ws.SingleFrameCase);
        EXPECT_TRUE(s.ws.StackReady);
        EXPECT_EQ(s.form.PageControl1.ActivePageIndex, kPageWavelets);
        EXPECT_TRUE(s.form.TabSheet3.TabVisible && s.form.TabSheet4.TabVisible && s.form.TabSheet5.TabVisible);
        EXPECT_TRUE(s.form.SaveButton.Enabled && s.form.SaveBMP2button.Enabled);
        EXPECT_EQ(s.form.Stackimage.Image.Width(), 40);
        // The halves 100 of 65535 apart stay apart in the stack (8 bits would make them one).
        EXPECT_LT(s.ws.StackSum[1].Get(5, 5), s.ws.StackSum[1].Get(35, 5));
    }
}

TEST(SingleStill, TwoPicturesStillMakeASeriesToAlign) {
    for (const Route route : {Route::Chosen, Route::Dropped}) {
        SCOPED_TRACE(int(route));
        testing::StartedSession t;
        std::vector<std::string> files;
        for (const char* name : {"a.tif", "b.tif"}) {
            SaveWideImage(FineLevels(), 40, 30, t.appDir / name);
            files.push_back((t.appDir / name).string());
        }
        Session& s = Open(t, files, route);
        EXPECT_FALSE(s.ws.SingleFrameCase);
        EXPECT_FALSE(s.ws.StackReady);
        EXPECT_EQ(s.ws.LastFrame, 1);
        EXPECT_EQ(s.form.PageControl1.ActivePageIndex, kPageInput);
    }
}

}  // namespace
}  // namespace talvenor
