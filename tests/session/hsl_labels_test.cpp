#include <gtest/gtest.h>

#include "session/page_change.h"
#include "session/project_files.h"
#include "session/still_on_wavelet_page.h"
#include "session/tool_windows.h"

namespace talvenor {
namespace {

// A project loaded sets the Final page's sliders, and their labels say the values loaded.
TEST(HslLabels, AProjectLoadShowsTheLoadedValuesInTheLabels) {
    testing::StillOnWaveletPage p;
    Session& s = *p.s;
    GoToPage(s, kPageFinal);
    Controls& f = p.f();
    f.SaturationSlider.Value = 25;
    s.Dispatch("SaturationSlider", Event::Change);
    f.HueSlider.Value = -7;
    s.Dispatch("HueSlider", Event::Change);
    const std::string project = ProjectText(s);
    s.Dispatch("Button7", Event::Click);  // "Reset HSL"
    ASSERT_EQ(f.Satlabel.Caption, "Saturation :0");

    ASSERT_TRUE(LoadProjectText(s, project, p.t.appDir / "planet.rsp"));
    EXPECT_EQ(f.SaturationSlider.Value, 25);
    EXPECT_EQ(f.Satlabel.Caption, "Saturation :25");
    EXPECT_EQ(f.Huelabel.Caption, "Hue        :-7");
}

}  // namespace
}  // namespace talvenor
