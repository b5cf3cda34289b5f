// One picture opened on its own (chosen, dropped or given at start) is its own stack at its full
// precision, on the Wavelet page ready to save. (Series of two or more: input_selection_test.)
#include <gtest/gtest.h>

#include "imagefiles/png_file.h"
#include "session/result_save.h"
#include "session/session_fixture.h"
#include "session/tool_windows.h"

namespace talvenor {
namespace {

TEST(SingleStill, OpensAsItsOwnStackOnTheWaveletPage) {
    // Left and right halves less than one 8-bit level apart.
    TTIFFBitMap fine;
    fine.CreateWide(41, 31);
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 41; ++x)
            for (int c = 0; c < 3; ++c) fine.SetSample(x, y, c, uint16_t(x < 20 ? 30000 : 30100));
    for (const char* name : {"still.tif", "still.png"})
        for (const char* route : {"chosen", "dropped", "given"}) {
            SCOPED_TRACE(std::string(name) + " " + route);
            testing::StartedSession t;
            const std::string file = (t.appDir / name).string();
            if (file.ends_with(".tif")) SaveWideImage(fine, 40, 30, file);
            else WritePng16(file, fine, 40, 30);
            Session& s = route[0] == 'g' ? t.Start({file}) : t.Start();
            if (route[0] == 'd') s.Dispatch("MainForm", Event::FilesDropped, EventArgs{.Files = {file}});
            if (route[0] == 'c') {
                t.host.OpenChoices.push_back(FileChoice{{file}, 1});
                s.Dispatch("SelectFileButton", Event::Click);
            }
            EXPECT_TRUE(s.ws.SingleFrameCase && s.ws.StackReady);
            EXPECT_EQ(s.form.PageControl1.ActivePageIndex, kPageWavelets);
            EXPECT_TRUE(s.form.TabSheet3.TabVisible && s.form.TabSheet5.TabVisible);
            EXPECT_TRUE(s.form.SaveButton.Enabled && s.form.SaveBMP2button.Enabled);
            EXPECT_LT(s.ws.StackSum[1].Get(5, 5), s.ws.StackSum[1].Get(35, 5));  // 8 bits would make them one
        }
}

}  // namespace
}  // namespace talvenor
