#include <gtest/gtest.h>

#include "session/session_fixture.h"
#include "session/tool_windows.h"
#include "workspace/build_info.h"

namespace talvenor {
namespace {

using testing::StartedSession;

TEST(StartUp, FirstStartFillsTheUserStoreAndWritesTheSettingsFile) {
    StartedSession t;
    Session& s = t.Start();
    EXPECT_TRUE(t.host.Messages.empty()) << t.host.Messages.front().Text;
    EXPECT_EQ(t.UserValue("Files", "Dir"), t.appDir.path().string());
    EXPECT_EQ(t.UserValue("Files", "Lasttype"), "AVI");
    EXPECT_EQ(t.UserValue("Files", "SaveDir"), t.appDir.path().string());

    // The settings file is written straight after start-up with the form's values.
    ASSERT_TRUE(std::filesystem::exists(t.appDir / "talvenor.ini"));
    TBigIniFile ini(t.appDir / "talvenor.ini");
    EXPECT_EQ(ini.ReadString("Form", "QualityFilter_Value", "?"), "12");
    EXPECT_EQ(ini.ReadString("Form", "Processarea_Text", "?"), "512");
    EXPECT_EQ(ini.ReadString("Form", "Followme_Checked", "?"), "True");
    EXPECT_EQ(ini.ReadString("Form", "FFTWindow_Left", "?"), "82");

    // A clean workspace on the Input page, with only Input and Error-reporting tabs.
    EXPECT_EQ(s.form.PageControl1.ActivePageIndex, 0);
    EXPECT_EQ(s.ws.ProcessAreaMax, 512);
    EXPECT_EQ(s.ws.LayerPlanes[6][2].Width(), 512);
    EXPECT_EQ(s.ws.AlignBoxSize, 64);
    EXPECT_EQ(s.ws.StackTiff.Width(), 3);
    EXPECT_EQ(s.ws.Frames[4999].OptimizeScore, 100.0f);
    EXPECT_EQ(s.ws.AviFileName, "none");
    EXPECT_TRUE(s.ws.PositionsReady);
    EXPECT_FALSE(s.form.TabSheet2.TabVisible || s.form.TabSheet3.TabVisible || s.form.TabSheet4.TabVisible ||
                 s.form.TabSheet5.TabVisible);
    EXPECT_EQ(s.form.ComboBox1.Text(), "150%");
    EXPECT_EQ(s.form.logolabel.Caption, "Talvenor v " TALVENOR_VERSION " beta");
    EXPECT_EQ(s.form.RxLabel3.Caption.rfind("Build ", 0), 0u);
    EXPECT_EQ(s.form.RedLRGBslider.Value, 299);
    EXPECT_EQ(s.ws.AppDir, t.appDir.path().string() + "/");
}

TEST(StartUp, SettingsSurviveARestartExceptThoseResetAtEveryStart) {
    StartedSession t;
    Session& first = t.Start();
    first.form.QualityFilter.Value = 20;
    first.form.ColourStack.Checked = true;
    first.form.FFTsizeGroup.ItemIndex = 2;
    ASSERT_TRUE(first.form.Processarea.SelectText("full"));
    first.form.UseDarkFrame.Checked = true;
    first.form.Resampled.Checked = true;
    first.form.PartialProcessControl.Checked = false;
    first.form.RxSlider5.Value = 300;
    first.form.FFTFilterspin.Value = 12.5;
    first.form.HLSWindow.Left = 700;
    first.MainPlacement = {true, 0, 1, 96, {-1, -1, -1, -1}, {10, 20, 1034, 723}};

    Session& s = t.Start();
    EXPECT_EQ(s.form.QualityFilter.Value, 20);
    EXPECT_TRUE(s.form.ColourStack.Checked);
    EXPECT_TRUE(s.form.LRGB1.Enabled);
    EXPECT_EQ(s.ws.AlignBoxSize, 128);
    EXPECT_EQ(s.ws.ProcessAreaMax, 4096);
    EXPECT_EQ(s.ws.LayerPlanes[0][0].Width(), 4096);
    EXPECT_EQ(s.form.FFTFilterspin.Value, 12.5);
    EXPECT_EQ(s.form.HLSWindow.Left, 700);
    EXPECT_TRUE(s.MainPlacement.Stored);
    EXPECT_EQ(s.MainPlacement.NormPos[1], 20);
    // Reset at every start: calibration, resampling, partial processing, the layer gains.
    EXPECT_FALSE(s.form.UseDarkFrame.Checked);
    EXPECT_FALSE(s.form.Resampled.Checked);
    EXPECT_TRUE(s.form.PartialProcessControl.Checked);
    EXPECT_EQ(s.form.RxSlider5.Value, 10);
}

TEST(StartUp, TheColourOffsetsFollowTheRestoredColourBox) {
    for (const bool colour : {false, true}) {
        StartedSession t;
        t.WriteFile(t.appDir / "talvenor.ini", std::string("[Form]\r\nColourStack_Checked=") + (colour ? "True" : "False") + "\r\n");
        Session& s = t.Start();
        ASSERT_EQ(s.form.ColourStack.Checked, colour);
        EXPECT_EQ(s.form.RedSlider.Enabled, colour);
        EXPECT_EQ(s.form.blueslider.Enabled, colour);
        EXPECT_TRUE(s.form.GreenSlider.Enabled);
    }
}

TEST(StartUp, ADamagedSettingsFileKeepsTheDefaultsOfWhatItCannotRead) {
    StartedSession t;
    t.WriteFile(t.appDir / "talvenor.ini",
                "[Form]\r\nQualityFilter_Value=abc\r\nFFTsizeGroup_ItemIndex=9\r\nOptimizeSpin_Value=7\r\n"
                "Processarea_Text=huge\r\nNormPos=1,2\r\n");
    Session& s = t.Start();
    EXPECT_EQ(s.form.QualityFilter.Value, 12);
    EXPECT_EQ(s.form.FFTsizeGroup.ItemIndex, 1);
    EXPECT_EQ(s.form.OptimizeSpin.Value, 7);
    EXPECT_EQ(s.ws.ProcessAreaMax, 512);
    EXPECT_FALSE(s.MainPlacement.Stored);
    EXPECT_TRUE(t.host.Messages.empty());
}

TEST(StartUp, WithoutAWritableProgramDirectoryTheSettingsGoToTheUserConfiguration) {
    StartedSession t;
    Session s(t.host);
    auto env = t.Environment();
    env.CurrentDir = t.appDir / "not-there";
    StartUp(s, env);
    EXPECT_EQ(s.SettingsFileName, t.configDir / "talvenor.ini");
    EXPECT_TRUE(std::filesystem::exists(t.configDir / "talvenor.ini"));
}

TEST(StartUp, TheLastDirectoryAndInputTypeComeBack) {
    struct Case {
        std::string lastType;
        int filterIndex;
    } cases[] = {{"AVI", 1}, {"BMP", 2}, {"FIT", 3}, {"JPG", 4}, {"TIF", 1}};
    for (const Case& c : cases) {
        StartedSession t;
        std::filesystem::create_directories(t.appDir / "captures");
        t.WriteFile(t.configDir / "user.ini", "[Files]\r\nDir=" + (t.appDir / "captures").string() +
                                                  "\r\nLasttype=" + c.lastType + "\r\nSaveDir=/results\r\n");
        Session& s = t.Start();
        SCOPED_TRACE(c.lastType);
        EXPECT_EQ(s.form.AddBitmapDialog.FilterIndex, c.filterIndex);
        EXPECT_EQ(s.form.DirectoryListBox1.Directory, (t.appDir / "captures").string());
        EXPECT_EQ(s.form.AddBitmapDialog.InitialDir, (t.appDir / "captures").string());
        EXPECT_EQ(s.form.SaveDialog1.InitialDir, "/results");
        EXPECT_EQ(t.UserValue("Files", "Lasttype"), c.lastType);
    }
}

TEST(StartUp, AMissingPreviousDirectoryIsReportedAndTheCurrentOneKept) {
    StartedSession t;
    const std::string gone = (t.appDir / "gone").string();
    t.WriteFile(t.configDir / "user.ini", "[Files]\r\nDir=" + gone + "\r\n");
    Session& s = t.Start();
    ASSERT_EQ(t.host.Messages.size(), 1u);
    EXPECT_EQ(t.host.Messages[0].Kind, MsgKind::Warning);
    EXPECT_EQ(t.host.Messages[0].Text, "Previously used directory " + gone + " not found");
    EXPECT_EQ(s.form.DirectoryListBox1.Directory, t.appDir.path().string());
}

TEST(StartUp, AdminFileShowsTheExtraOptions) {
    StartedSession t;
    Session& plain = t.Start();
    EXPECT_FALSE(plain.form.Secretoptions.Visible);
    EXPECT_FALSE(plain.form.Pixfrac.Visible);

    t.WriteFile(t.appDir / "admin.txt", "");
    Session& s = t.Start();
    EXPECT_TRUE(s.form.Secretoptions.Visible);
    EXPECT_TRUE(s.form.Secretoptions.Expand);
    EXPECT_TRUE(s.form.Drizzle2.Visible && s.form.Pixfrac.Visible && s.form.DoAllspeed.Visible);
}

TEST(StartUp, ToolWindowMovesAreRecordedOnlyAfterStartUp) {
    StartedSession t;
    auto session = std::make_unique<Session>(t.host);
    Session& s = *session;
    // Placing the windows while the program starts must not count as the user's doing.
    s.seams.CreateCurves = [&s] {
        s.form.FFTWindow.Left = 5;
        s.Dispatch("FFTWindow", Event::Moved);
    };
    StartUp(s, t.Environment());
    EXPECT_EQ(t.UserValue("Toolwin", "FFTleft"), "<absent>");

    s.form.FFTWindow.Left = 300;
    s.form.FFTWindow.Top = 40;
    s.Dispatch("FFTWindow", Event::Moved);
    s.form.SelectFrameswindow.Top = 77;
    s.Dispatch("SelectFrameswindow", Event::Moved);
    EXPECT_EQ(t.UserValue("Toolwin", "FFTleft"), "300");
    EXPECT_EQ(t.UserValue("Toolwin", "FFTTop"), "40");
    EXPECT_EQ(t.UserValue("Toolwin", "FrameTop"), "77");
    // Windows outside the store's table are kept by the settings file only.
    s.Dispatch("HLSWindow", Event::Moved);
    EXPECT_EQ(t.UserValue("Toolwin", "HLSTop"), "<absent>");
}

TEST(StartUp, AProjectOrFrameListArgumentIsLoadedWhateverTheCaseOfItsExtension) {
    StartedSession t;
    std::vector<std::string> loaded;
    std::unique_ptr<Session> s;
    auto run = [&](const std::string& arg) {
        loaded.clear();
        t.host.Messages.clear();
        s = std::make_unique<Session>(t.host);
        s->seams.LoadProject = [&loaded, &s] {
            EXPECT_TRUE(s->ws.CommandLineLoad);
            loaded.push_back(s->form.OpenDialog2.FileName + "#" + std::to_string(s->form.OpenDialog2.FilterIndex));
        };
        StartUp(*s, t.Environment({arg}));
        EXPECT_FALSE(s->ws.CommandLineLoad);
        // With an argument the program directory is the program's own.
        EXPECT_EQ(s->ws.AppDir, t.appDir.path().string() + "/");
    };
    run("/data/jupiter.RSP");
    EXPECT_EQ(loaded, std::vector<std::string>{"/data/jupiter.RSP#1"});
    // A capture opens as the input (a missing one says so and the program starts).
    run("/data/capture.avi");
    EXPECT_TRUE(loaded.empty());
    ASSERT_EQ(t.host.Messages.size(), 1u);
    EXPECT_EQ(t.host.Messages[0].Text, "non existing file :/data/capture.avi");

    // A frame list opens as the sequence, with its window shown.
    const std::string frame = std::string(TALVENOR_SOURCE_DIR) + "/tests/data/bmp/bmp3-rgb24.bmp";
    t.WriteFile(t.appDir / "night.RFL", frame + "\r\n" + frame + "\r\n");
    run((t.appDir / "night.RFL").string());
    EXPECT_EQ(s->ws.LastFrame, 1);
    EXPECT_EQ(s->ws.ImageWidth, 13);
    EXPECT_TRUE(s->form.SelectFrameswindow.Visible);
    EXPECT_TRUE(s->form.AddFramesButton.Visible);
    EXPECT_EQ(s->ws.StackTiff.Width(), 14);

    // A list naming a missing frame is reported, and the program still starts.
    t.WriteFile(t.appDir / "gone.rfl", "/nowhere/frame.bmp\r\n");
    run((t.appDir / "gone.rfl").string());
    ASSERT_EQ(t.host.Messages.size(), 1u);
    EXPECT_NE(t.host.Messages[0].Text.find("/nowhere/frame.bmp"), std::string::npos);
    EXPECT_EQ(s->form.PageControl1.ActivePageIndex, 0);
}

TEST(StartUp, CloseRewritesTheSettingsFileAndReportsAFailure) {
    StartedSession t;
    Session& s = t.Start();
    s.form.QualityFilter.Value = 33;
    EXPECT_EQ(s.Close(), "");
    TBigIniFile ini(t.appDir / "talvenor.ini");
    EXPECT_EQ(ini.ReadString("Form", "QualityFilter_Value", "?"), "33");

    s.SettingsFileName = t.appDir / "no-such-dir" / "sub" / "talvenor.ini";
    std::filesystem::create_directories(t.appDir / "no-such-dir");
    t.WriteFile(t.appDir / "no-such-dir" / "sub", "a file where a directory should be");
    EXPECT_NE(s.Close(), "");
}

}  // namespace
}  // namespace talvenor
