#include <QPushButton>
#include <QTabWidget>

#include "desktop_fixture.h"
#include "session/page_change.h"
#include "session/project_files.h"
#include "session/result_save.h"
#include "session/stacking_handlers.h"
#include "session/tool_windows.h"
#include "session/worked_session.h"
#include "ui/picture_view.h"
#include "workspace/scripted_host.h"

namespace talvenor {
namespace {

using testing::DesktopFixture;

class ProjectStartTest : public DesktopFixture {
protected:
    void SetUp() override {}  // the program starts with the project, below
};

TEST_F(ProjectStartTest, StartedWithAProjectTheProgramOpensOnItsPageWithTheStack) {
    // The work of an earlier evening: aligned, stacked, left on the Wavelet Processing page.
    const std::filesystem::path project = appDir / "evening.rsp";
    {
        capture::CaptureOptions o;
        o.frames = 10;
        o.width = 160;
        o.height = 120;
        o.format = capture::CaptureFormat::AviGrey;
        o.writeTruth = false;
        capture::WriteCapture(appDir / "evening.avi", o);
        ScriptedHost host;
        Session s(host);
        StartUp(s, Environment());
        OpenInput(s, {(appDir / "evening.avi").string()}, 1);
        testing::WorkUpTo(s, 4, 80, 60, 5);
        GoToPage(s, kPageWavelets);
        ASSERT_TRUE(SaveProjectClick(s, project));
        s.Close();
    }

    StartDesktop({project.string()});

    EXPECT_EQ(window().Pages()->currentIndex(), kPageWavelets);
    EXPECT_TRUE(session().ws.StackReady);
    auto* stack = Widget<PictureView>("Stackimage");
    ASSERT_TRUE(stack);
    EXPECT_EQ(stack->widget()->grab().toImage().width(), session().ws.ImageWidth);
    auto* processed = Widget<PictureView>("ProcessImage");
    ASSERT_TRUE(processed);
    EXPECT_EQ(processed->widget()->grab().toImage().width(), session().ws.ImageWidth);
}

TEST_F(ProjectStartTest, StartedWithAPlainStillTheProgramOpensOnTheWaveletPageReadyToSave) {
    // A 16-bit stack from another program: no project inside.
    TTIFFBitMap still;
    still.CreateWide(97, 81);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 96; ++x) still.SetSample(x, y, 1, uint16_t(x * 600 + y * 100));
    SaveWideImage(still, 96, 80, appDir / "stack.tif");

    StartDesktop({(appDir / "stack.tif").string()});

    EXPECT_EQ(window().Pages()->currentIndex(), kPageWavelets);
    for (const char* save : {"SaveBMP2button", "SaveButton"}) EXPECT_TRUE(Widget<QPushButton>(save)->isEnabled()) << save;
}

}  // namespace
}  // namespace talvenor
