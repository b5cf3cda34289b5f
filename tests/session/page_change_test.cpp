#include <gtest/gtest.h>

#include "session/page_change.h"
#include "session/session_fixture.h"
#include "session/tool_windows.h"

namespace talvenor {
namespace {

using testing::StartedSession;

void GoTo(Session& s, int page) {
    s.form.PageControl1.ActivePageIndex = page;
    s.Dispatch("PageControl1", Event::Change);
}

std::vector<std::string> Shown(Session& s) {
    std::vector<std::string> names;
    for (const PageToolWindow& t : PageToolWindows(s.form))
        if (t.Window.Visible) names.push_back(t.Window.Name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PageChange, EachPageShowsOnlyItsCheckedToolWindows) {
    StartedSession t;
    Session& s = t.Start();
    for (const PageToolWindow& w : PageToolWindows(s.form)) w.ShownBy.Checked = true;
    s.form.Colourprocess2.Checked = true;

    const struct {
        int page;
        std::vector<std::string> shown;
    } cases[] = {
        {kPageInput, {"SelectFrameswindow"}},
        {kPageAligning, {"FFTWindow", "Propertywindow"}},
        {kPageStacking, {"Stackframeswindow"}},
        {kPageWavelets, {"Denoisewindow", "FilterWindow", "GammaWindow", "HistoWindow", "RGBShiftWindow"}},
        {kPageFinal, {"HLSWindow"}},
        {kPageErrors, {}},
        // Back to the wavelet page: its windows come back although they were hidden meanwhile.
        {kPageWavelets, {"Denoisewindow", "FilterWindow", "GammaWindow", "HistoWindow", "RGBShiftWindow"}},
    };
    for (const auto& c : cases) {
        GoTo(s, c.page);
        EXPECT_EQ(Shown(s), c.shown) << "page " << c.page;
    }
}

TEST(PageChange, ChannelShiftWindowNeedsColourStackingAndChannelButtonsFollowLrgb) {
    StartedSession t;
    Session& s = t.Start();
    s.form.RGBSHIFT.Checked = true;
    s.form.LRGB2.Checked = true;
    GoTo(s, kPageWavelets);
    EXPECT_FALSE(s.form.RGBSHIFT.Enabled);
    EXPECT_FALSE(s.form.RGBShiftWindow.Visible);
    EXPECT_FALSE(s.form.Showred.Visible || s.form.ShowGreen.Visible || s.form.ShowBlue.Visible);

    s.form.Colourprocess2.Checked = true;
    s.form.LRGB2.Checked = false;
    GoTo(s, kPageWavelets);
    EXPECT_TRUE(s.form.RGBSHIFT.Enabled);
    EXPECT_TRUE(s.form.RGBShiftWindow.Visible);
    EXPECT_TRUE(s.form.Showred.Visible && s.form.ShowGreen.Visible && s.form.ShowBlue.Visible);
}

TEST(ToolWindows, CheckBoxesShowAndCloseBoxesUncheck) {
    StartedSession t;
    Session& s = t.Start();
    GoTo(s, kPageAligning);
    s.form.ShowFFTbox.Checked = true;
    s.Dispatch("ShowFFTbox", Event::Click);
    EXPECT_TRUE(s.form.FFTWindow.Visible);
    s.Dispatch("FFTWindow", Event::Close);
    EXPECT_FALSE(s.form.FFTWindow.Visible);
    EXPECT_FALSE(s.form.ShowFFTbox.Checked);

    // Closing the channel-shift window shows every channel again.
    s.form.RGBSHIFT.Checked = true;
    s.form.Showred.Checked = s.form.ShowBlue.Checked = false;
    s.Dispatch("RGBShiftWindow", Event::Close);
    EXPECT_FALSE(s.form.RGBSHIFT.Checked);
    EXPECT_TRUE(s.form.Showred.Checked && s.form.ShowGreen.Checked && s.form.ShowBlue.Checked);
}

TEST(HelpPanels, HelpTogglesTheHintWindowAndLoadsThePagePanelEachTime) {
    StartedSession t;
    Session& s = t.Start();
    t.WriteFile(t.appDir / "2Panel1.html", "<h2>Input</h2>");
    s.Dispatch("BitBtn1", Event::Click);
    EXPECT_TRUE(s.form.HintWindow.Visible);
    EXPECT_EQ(s.form.Hintsmemo.Html, "<h2>Input</h2>");
    t.WriteFile(t.appDir / "2Panel1.html", "<h2>Input, revised</h2>");
    s.Dispatch("BitBtn1", Event::Click);
    EXPECT_FALSE(s.form.HintWindow.Visible);
    EXPECT_EQ(s.form.Hintsmemo.Html, "<h2>Input, revised</h2>");
    EXPECT_TRUE(t.host.Messages.empty());

    // A missing panel: a warning naming it, and an empty memo.
    GoTo(s, kPageStacking);
    s.Dispatch("BitBtn1", Event::Click);
    EXPECT_TRUE(t.host.Showed("helpfile 2panel3.html not found"));
    EXPECT_TRUE(s.form.Hintsmemo.Html.empty() && s.form.Hintsmemo.Lines.empty());

    // The Error-reporting page has no panel: Help only hides the window.
    GoTo(s, kPageErrors);
    s.form.HintWindow.Visible = true;
    s.Dispatch("BitBtn1", Event::Click);
    EXPECT_FALSE(s.form.HintWindow.Visible);
    EXPECT_EQ(t.host.Messages.size(), 1u);
}

TEST(HelpPanels, ShippedPanelsExistForEveryWorkingPage) {
    for (int page = kPageInput; page <= kPageFinal; ++page) {
        const auto path = std::filesystem::path(TALVENOR_SOURCE_DIR) / "resources/help" / HelpPanelFileName(page);
        EXPECT_TRUE(std::filesystem::exists(path)) << path;
        EXPECT_GT(std::filesystem::file_size(path), 1000u) << path;
    }
}

TEST(MemoryReports, ErrorPageAndMemoryButtonShowAFreshReport) {
    StartedSession t;
    Session& s = t.Start();
    s.form.Memo1.Lines.assign(12, "old");
    GoTo(s, kPageErrors);
    ASSERT_EQ(s.form.Memo1.Lines.size(), 5u);
    EXPECT_EQ(s.form.Memo1.Lines[0].rfind("Current memory load: ", 0), 0u);
    EXPECT_EQ(s.form.Label38.Caption,
              "current memory :\n" + s.form.Memo1.Lines[0] + "\n" + s.form.Memo1.Lines[1] + "\n" + s.form.Memo1.Lines[2] + "\n");

    s.Dispatch("BitBtn6", Event::Click);
    EXPECT_TRUE(s.form.memorywindow.Visible);
    EXPECT_EQ(s.form.Memo1.Lines.size(), 5u);
}

TEST(SettingsMirror, ChangedSettingsAreCopiedToTheUserStore) {
    StartedSession t;
    Session& s = t.Start();
    s.form.QualityFilter.Value = 17.6;
    s.Dispatch("QualityFilter", Event::Change);
    s.form.FFTFilterspin.Value = 9.5;
    s.Dispatch("FFTFilterspin", Event::Change);
    s.form.ColourStack.Checked = true;
    s.Dispatch("ColourStack", Event::Click);
    s.form.SearchArea.Value = 4;
    s.Dispatch("SearchArea", Event::Change);
    EXPECT_EQ(t.UserValue("Settings", "QualityFilter"), "18");
    EXPECT_EQ(t.UserValue("Settings", "FFTFilter"), "10");  // 9.5 rounds to even
    EXPECT_EQ(t.UserValue("Settings", "usecolour"), "1");
    EXPECT_EQ(t.UserValue("Settings", "SearchArea"), "4");
}

TEST(Cancel, OnlyYesCancelsButBothAnswersHideTheProgress) {
    StartedSession t;
    Session& s = t.Start();
    // The click arrives while another action runs, as it does while a pass pumps messages.
    s.handlers.On("RunningPass", Event::Click, [&s] { s.Dispatch("BitBtn2", Event::Click); });
    for (Answer a : {Answer::No, Answer::Yes}) {
        s.form.MessageWindow.Visible = true;
        t.host.SetCursor(CursorKind::Busy);
        t.host.Answers.push_back(a);
        s.Dispatch("RunningPass", Event::Click);
        EXPECT_EQ(s.ws.CancelRequested, a == Answer::Yes);
        EXPECT_FALSE(s.form.MessageWindow.Visible);
        EXPECT_EQ(t.host.Cursor, CursorKind::Default);
        EXPECT_EQ(t.host.Messages.back().Text, "Do you want to cancel ?");
    }
}

}  // namespace
}  // namespace talvenor
