// Every control the user can act on tells what it does in a one-line tooltip. Containers,
// pictures, plain labels, memos and gauges are looked at, not acted on, and need none.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "workspace/controls.h"

namespace talvenor {
namespace {

bool IsActable(ControlKind kind) {
    switch (kind) {
        case ControlKind::CheckBox:
        case ControlKind::SpinEdit:
        case ControlKind::Slider:
        case ControlKind::RadioGroup:
        case ControlKind::ComboBox:
        case ControlKind::Button:
        case ControlKind::ListBox:
        case ControlKind::CheckListBox:
        case ControlKind::Edit:
        case ControlKind::DirectoryList:
            return true;
        case ControlKind::Label:
        case ControlKind::Panel:
        case ControlKind::TabSheet:
        case ControlKind::PageControl:
        case ControlKind::ToolWindow:
        case ControlKind::Memo:
        case ControlKind::Picture:
        case ControlKind::Gauge:
        case ControlKind::FileDialog:
        case ControlKind::ScrollBox:
            return false;
    }
    return false;
}

// A tooltip is one short line; longer text belongs in the help pages.
constexpr std::size_t kMaxHintLength = 90;

TEST(ControlHints, EveryActableControlHasAShortOneLineHint) {
    Controls form;
    std::vector<std::string> missing, malformed;
    for (const Control* c : form.All()) {
        if (!IsActable(c->Kind)) continue;
        const std::string& hint = c->Hint;
        const std::string label = std::string(KindName(c->Kind)) + " " + c->Name;
        if (hint.find_first_not_of(' ') == std::string::npos)
            missing.push_back(label);
        else if (hint.size() > kMaxHintLength || hint.find('\n') != std::string::npos ||
                 hint.front() == ' ' || hint.back() == ' ')
            malformed.push_back(label + ": \"" + hint + "\"");
    }
    auto list = [](const std::vector<std::string>& names) {
        std::string out;
        for (const auto& n : names) out += "\n  " + n;
        return out;
    };
    EXPECT_TRUE(missing.empty()) << missing.size() << " controls have no hint:" << list(missing);
    EXPECT_TRUE(malformed.empty()) << "hints not on one short trimmed line:" << list(malformed);
}

// The check is only worth something if it sees the controls that do carry hints.
TEST(ControlHints, HintsGivenInTheDeclarationsReachTheControls) {
    Controls form;
    EXPECT_FALSE(form.Get("ComboBox2").Hint.empty());
    EXPECT_TRUE(form.Get("RotateImage").Hint.empty()) << "pictures carry no tooltip";
}

}  // namespace
}  // namespace talvenor
