#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "workspace/big_ini_file.h"
#include "workspace/error.h"
#include "workspace/settings_file.h"
#include "workspace/stored_properties.h"

namespace talvenor {
namespace {

TEST(SettingsFile, EveryStoredPropertyRoundTripsWithItsTextForm) {
    testing::TempDir dir;
    Controls written;
    written.Bias.Value = 77.25;
    written.BlurBox.Checked = true;
    written.Scaletype.ItemIndex = 0;
    ASSERT_TRUE(written.Processarea.SelectText("128"));
    written.interlaceinterpolation.ItemIndex = 3;
    written.Optimizepanel.Expand = false;
    written.StackSlider.Value = 321;
    written.GammaWindow.Top = -12;  // a window on a screen left of the primary one
    WindowPlacement placement{true, 2, 3, 120, {-1, -1, 5, 6}, {100, 50, 1124, 753}};
    SaveControlSettings(dir / "talvenor.ini", written, placement);

    TBigIniFile ini(dir / "talvenor.ini");
    EXPECT_EQ(ini.ReadString("Form", "Bias_Value", "?"), "77.25");
    EXPECT_EQ(ini.ReadString("Form", "BlurBox_Checked", "?"), "True");
    EXPECT_EQ(ini.ReadString("Form", "Processarea_Text", "?"), "128");
    EXPECT_EQ(ini.ReadString("Form", "Optimizepanel_Expand", "?"), "False");
    EXPECT_EQ(ini.ReadString("Form", "NormPos", "?"), "100,50,1124,753");
    EXPECT_EQ(ini.ReadString("Form", "MinMaxPos", "?"), "-1,-1,5,6");

    Controls read;
    WindowPlacement back;
    RestoreControlSettings(dir / "talvenor.ini", read, back);
    for (std::string_view property : StoredProperties())
        EXPECT_EQ(read.GetValue(property), written.GetValue(property)) << property;
    EXPECT_TRUE(back.Stored);
    EXPECT_EQ(back.NormPos, placement.NormPos);
    EXPECT_EQ(back.MinMaxPos, placement.MinMaxPos);
    EXPECT_EQ(back.ShowCmd, 3);
    EXPECT_EQ(back.PixelsPerInch, 120);
}

TEST(SettingsFile, AMissingFileLeavesTheDefaults) {
    testing::TempDir dir;
    Controls form;
    WindowPlacement placement;
    RestoreControlSettings(dir / "nothing.ini", form, placement);
    EXPECT_FALSE(placement.Stored);
    EXPECT_EQ(form.QualityFilter.Value, 12);
}

TEST(Controls, PropertiesByNameReportBadNamesAndValues) {
    Controls form;
    form.SetValue("qualityfilter.value", "30");  // names ignore case, as the settings file does
    EXPECT_EQ(form.QualityFilter.Value, 30);
    form.SetValue("QualityFilter.Value", "999");  // held inside the control's range
    EXPECT_EQ(form.QualityFilter.Value, 250);
    EXPECT_THROW(form.SetValue("QualityFilter.Value", "lots"), Error);
    EXPECT_THROW(form.SetValue("NoSuchControl.Value", "1"), Error);
    EXPECT_THROW(form.SetValue("QualityFilter.Checked", "True"), Error);
    EXPECT_THROW(form.SetValue("QualityFilter", "1"), Error);
    EXPECT_THROW(form.SetValue("FFTsizeGroup.ItemIndex", "4"), Error);
    EXPECT_THROW(form.SetValue("Processarea.Text", "300"), Error);
    form.SetValue("Followme.Checked", "false");
    EXPECT_FALSE(form.Followme.Checked);
    EXPECT_EQ(form.GetValue("FFTsizeGroup.Text"), "64");
}

}  // namespace
}  // namespace talvenor
