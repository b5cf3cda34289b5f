// The form as data: every name the settings file, the project files and the GUI binder
// look up must exist, sit on a real container, and start at the values the algorithms
// are written for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/controls.h"
#include "workspace/error.h"
#include "workspace/stored_properties.h"
#include "workspace/text_util.h"

namespace talvenor {
namespace {

using Items = std::vector<std::string>;

// What the user sees at start: the control and every container above it are visible.
bool ShownAtStart(const Controls& form, std::string_view name) {
    for (const Control* c = form.Find(name); c != nullptr; c = form.Find(c->Parent))
        if (!c->Visible) return false;
    return true;
}

// Sets the property to some accepted value other than `value` (the other truth value, a
// number one step either side, another text); false when none is taken.
bool MoveAway(Controls& form, std::string_view entry, const std::string& value) {
    std::vector<std::string> others = {value == "True" ? "False" : "True", "0", "1", "another text"};
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    if (!value.empty() && *end == '\0')
        for (double step : {1.0, -1.0, 0.5}) others.push_back(std::to_string(number + step));
    const std::string_view name = entry.substr(0, entry.find('.'));
    if (const auto* choice = dynamic_cast<const Choice*>(form.Find(name)))  // a Text takes only its items
        others.insert(others.end(), choice->Items.begin(), choice->Items.end());
    for (const std::string& other : others) {
        try {
            form.SetValue(entry, other);
        } catch (const Error&) {
            continue;
        }
        if (form.GetValue(entry) != value) return true;
    }
    return false;
}

TEST(Controls, EveryStoredPropertyResolvesAndSurvivesARestore) {
    Controls form;
    std::set<std::string> seen;
    for (std::string_view entry : StoredProperties()) {
        SCOPED_TRACE(std::string(entry));
        std::optional<std::string> value;
        ASSERT_NO_THROW(value = form.GetValue(entry));
        ASSERT_TRUE(value.has_value()) << "the control has no such property";
        EXPECT_TRUE(seen.insert(ToLower(entry)).second) << "stored twice";
        // Move the property away first, so that restoring the value read proves the restore
        // took effect rather than leaving what was there.
        ASSERT_TRUE(MoveAway(form, entry, *value)) << "no other value is accepted for " << *value;
        // Restoring a settings file written by this very form must be accepted unchanged.
        EXPECT_NO_THROW(form.SetValue(entry, *value));
        EXPECT_EQ(form.GetValue(entry), value);
    }
    EXPECT_EQ(StoredProperties().size(), 99u);
}

TEST(Controls, EveryControlSitsOnAContainerDeclaredBeforeIt) {
    Controls form;
    const auto& all = form.All();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Control& c = *all[i];
        if (c.Parent.empty() || c.Parent == "MainForm" || c.Parent == "PageControl1") continue;
        const Control* parent = form.Find(c.Parent);
        ASSERT_NE(parent, nullptr) << c.Name << " sits on unknown " << c.Parent;
        // Children are gathered by exact name, so the spelling must match too.
        EXPECT_EQ(parent->Name, c.Parent) << c.Name;
        EXPECT_TRUE(parent->Kind == ControlKind::Panel || parent->Kind == ControlKind::TabSheet ||
                    parent->Kind == ControlKind::ToolWindow)
            << c.Name << " sits on " << KindName(parent->Kind) << " " << parent->Name;
        auto at = std::find(all.begin(), all.end(), parent) - all.begin();
        EXPECT_LT(std::size_t(at), i) << c.Name << " is declared before its container";
    }
}

TEST(Controls, EveryDefaultLiesInsideItsOwnRange) {
    Controls form;
    for (const Control* c : form.All()) {
        SCOPED_TRACE(c->Name);
        if (auto* s = dynamic_cast<const SpinEdit*>(c)) {
            EXPECT_LE(s->MinValue, s->MaxValue);
            if (s->MinValue != 0 || s->MaxValue != 0) {
                EXPECT_GE(s->Value, s->MinValue);
                EXPECT_LE(s->Value, s->MaxValue);
            }
            EXPECT_GT(s->Increment, 0);
        } else if (auto* s = dynamic_cast<const Slider*>(c)) {
            EXPECT_LE(s->MinValue, s->Value);
            EXPECT_LE(s->Value, s->MaxValue);
            EXPECT_GT(s->Increment, 0);
        } else if (auto* ch = dynamic_cast<const Choice*>(c)) {
            EXPECT_GE(ch->ItemIndex, -1);
            EXPECT_LT(ch->ItemIndex, int(ch->Items.size()));
        }
    }
}

struct RangeCase {
    std::string_view name;
    double value, min, max, step;
};

TEST(Controls, NumberControlsStartWhereTheAlgorithmsExpect) {
    const RangeCase cases[] = {
        {"QualityFilter", 12, 1, 250, 1},      {"QualFilterDX", 5, 1, 50, 1},
        {"FFTFilterspin", 10, 1, 50, 1},       {"OptimizeQualitySpin", 90, 0, 100, 5},
        {"OptimizeSpin", 1, 1, 50, 1},         {"SearchArea", 2, 1, 10, 1},
        {"Pixfrac", 80, 10, 200, 10},          {"ResampleSpin", 2, 1, 4, 0.1},
        {"Gamma1spin", 1, 0.1, 10, 0.1},       {"Rbalance", 1, 0, 1.5, 0.05},
        {"LevelStep", 1, 1, 32, 1},            {"Multiplicant", 0, 0, 32, 0.1},
        {"RxSlider3", 10, -50, 1000, 1},       {"RxSlider8", 10, -50, 1000, 1},
        {"ContrastSlider", 100, 10, 500, 1},   {"BrightnessSlider", 0, -127, 127, 1},
        {"differencecutslider", 100, 0, 100, 1}, {"GreenLRGBSlider", 587, 1, 1000, 1},
        {"noise6", 0, 0, 100, 10},             {"blueslider", 0, -100, 100, 2},
        {"SaturationSlider", 0, -50, 50, 1},   {"ASSwitcher1", 0, 0, 36, 1},
    };
    Controls form;
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        const Control& control = form.Get(c.name);
        if (auto* s = dynamic_cast<const SpinEdit*>(&control)) {
            EXPECT_DOUBLE_EQ(s->Value, c.value);
            EXPECT_DOUBLE_EQ(s->MinValue, c.min);
            EXPECT_DOUBLE_EQ(s->MaxValue, c.max);
            EXPECT_DOUBLE_EQ(s->Increment, c.step);
        } else if (auto* s = dynamic_cast<const Slider*>(&control)) {
            EXPECT_EQ(s->Value, c.value);
            EXPECT_EQ(s->MinValue, c.min);
            EXPECT_EQ(s->MaxValue, c.max);
            EXPECT_EQ(s->Increment, c.step);
        } else {
            ADD_FAILURE() << "not a number control";
        }
    }
}

TEST(Controls, ChoicesKeepTheirItemsAndDefaults) {
    Controls form;
    // The box side is 2^(index + 5) and the processing area is looked up by text.
    EXPECT_EQ(form.FFTsizeGroup.Items, (Items{"32", "64", "128", "256"}));
    EXPECT_EQ(form.FFTsizeGroup.ItemIndex, 1);
    EXPECT_EQ(form.Processarea.Items, (Items{"full", "2048", "1024", "512", "256", "128"}));
    EXPECT_EQ(form.Processarea.Text(), "512");
    // The trailing blanks are part of the items; the stacker tests the index.
    EXPECT_EQ(form.interlaceinterpolation.Items, (Items{"none", "odd && even lines", "odd lines ", "even lines "}));
    EXPECT_EQ(form.interlaceinterpolation.ItemIndex, 1);
    // Filter entry = index + 3 of the resampling table, for both lists.
    EXPECT_EQ(form.ResampleCombo.Items, (Items{"Bell", "Bspline", "Lanczos", "Mitchell"}));
    EXPECT_EQ(form.ResizeFilters.Items, (Items{"Bell", "B-Spline", "Lanczos", "Mitchell"}));
    EXPECT_EQ(form.ResizeFilters.Text(), "B-Spline");
    EXPECT_EQ(form.Scaletype.Text(), "Linear");
    EXPECT_EQ(form.Correlationtype.Text(), "Cross");
    EXPECT_EQ(form.Denoise.Text(), "None");
    EXPECT_EQ(form.ComboBox1.Text(), "150%");
    ASSERT_EQ(form.ComboBox2.Items.size(), 25u);
    EXPECT_EQ(form.ComboBox2.Items[24], "360");
}

TEST(Controls, PicturesAndKernelHaveTheirFixedGeometry) {
    Controls form;
    const struct { const Picture& p; int w, h; } pictures[] = {
        {form.StackGraph, 307, 249},       {form.imgGraph, 300, 250},  {form.GammaSplineGraph, 255, 255},
        {form.Histograph, 281, 260},       {form.Huegraph, 361, 100},  {form.HueHistoImage, 361, 50},
        {form.Overview, 150, 150},
    };
    for (const auto& c : pictures) {
        SCOPED_TRACE(c.p.Name);
        EXPECT_EQ(c.p.Width, c.w);
        EXPECT_EQ(c.p.Height, c.h);
        EXPECT_EQ(c.p.Image.Width(), c.w);  // the graphs are drawn at once, before any resize
    }
    // Default smoothing kernel: centre 50, its eight neighbours 6, outer ring 0.
    for (int col = 0; col < 5; ++col)
        for (int row = 0; row < 5; ++row) {
            auto& spin = dynamic_cast<SpinEdit&>(form.Get("Filter" + std::to_string(col) + std::to_string(row)));
            double expected = (col == 2 && row == 2) ? 50 : (std::abs(col - 2) <= 1 && std::abs(row - 2) <= 1) ? 6 : 0;
            EXPECT_EQ(spin.Value, expected) << spin.Name;
        }
}

TEST(Controls, HiddenOptionsStayOutOfSightUntilRevealed) {
    Controls form;
    for (std::string_view name : {"Pixfrac", "Drizzle2", "Drizzling", "SubPixelEstimate", "NoSquare", "Relative",
                                  "DoAllspeed", "InterlaceHoriz", "AlignSlider", "Haltbutton", "Subtract",
                                  "ActiveNoise", "stdevfactor", "UseDarkFrame", "UseFlatfield", "Cropping", "DoAll"})
        EXPECT_FALSE(ShownAtStart(form, name)) << name;
    for (std::string_view name : {"Allignallbutton", "Stackbutton", "ProcessButton", "PreviewImage", "QualityFilter",
                                  "Followme", "StackGraph", "RxSlider3"})
        EXPECT_TRUE(ShownAtStart(form, name)) << name;
    // Showing the expert panel is all "admin.txt" does, so its members must not hide themselves.
    form.Secretoptions.Visible = true;
    EXPECT_TRUE(ShownAtStart(form, "Drizzling"));
    EXPECT_FALSE(form.Secretoptions.Expand);
}

TEST(Controls, DialogTypeListsHaveTheTypesTheirIndexesMean) {
    Controls form;
    const struct { const FileDialog& d; std::size_t types; } cases[] = {
        {form.AddBitmapDialog, 6}, {form.OpenDialog, 3},  {form.SaveDialog1, 7},
        {form.WaveletSave, 5},     {form.SaveDialog4, 3}, {form.OpenDialog2, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.d.Name);
        auto bars = std::size_t(std::count(c.d.Filter.begin(), c.d.Filter.end(), '|'));
        EXPECT_EQ(bars + 1, 2 * c.types);  // description|pattern per type
        EXPECT_EQ(c.d.FilterIndex, 1);
    }
    EXPECT_TRUE(form.AddBitmapDialog.MultiSelect);
    EXPECT_EQ(form.SaveDialog1.DefaultExt, "bmp");
}

// Values from a settings file, a project's controls or --set that no control can hold are
// refused naming the control, and the control keeps its value.
TEST(Controls, HostileNumbersAreRefusedAndChangeNothing) {
    Controls form;
    const int stack = form.StackSlider.MaxValue;
    const double radius = form.FFTFilterspin.Value;
    for (const char* entry : {"StackSlider.MaxValue", "StackSlider.Value"})
        for (const char* value : {"3e9", "-3e9", "nan", "inf"}) {
            SCOPED_TRACE(std::string(entry) + "=" + value);
            EXPECT_THROW(form.SetValue(entry, value), Error);
        }
    for (const char* value : {"nan", "-inf"}) EXPECT_THROW(form.SetValue("FFTFilterspin.Value", value), Error) << value;
    EXPECT_EQ(form.StackSlider.MaxValue, stack);
    EXPECT_EQ(form.FFTFilterspin.Value, radius);
    form.SetValue("StackSlider.MaxValue", "12.4");  // a decimal another version wrote still reads
    EXPECT_EQ(form.StackSlider.MaxValue, 12);
}

}  // namespace
}  // namespace talvenor
