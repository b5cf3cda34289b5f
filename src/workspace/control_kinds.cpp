#include "workspace/control_kinds.h"

#include <algorithm>
#include <cmath>

#include "workspace/control_registry.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor {

std::string_view KindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::CheckBox: return "CheckBox";
        case ControlKind::SpinEdit: return "SpinEdit";
        case ControlKind::Slider: return "Slider";
        case ControlKind::RadioGroup: return "RadioGroup";
        case ControlKind::ComboBox: return "ComboBox";
        case ControlKind::Label: return "Label";
        case ControlKind::Button: return "Button";
        case ControlKind::Panel: return "Panel";
        case ControlKind::TabSheet: return "TabSheet";
        case ControlKind::PageControl: return "PageControl";
        case ControlKind::ToolWindow: return "ToolWindow";
        case ControlKind::Memo: return "Memo";
        case ControlKind::ListBox: return "ListBox";
        case ControlKind::CheckListBox: return "CheckListBox";
        case ControlKind::Edit: return "Edit";
        case ControlKind::Picture: return "Picture";
        case ControlKind::Gauge: return "Gauge";
        case ControlKind::FileDialog: return "FileDialog";
        case ControlKind::DirectoryList: return "DirectoryList";
        case ControlKind::ScrollBox: return "ScrollBox";
    }
    return "Control";
}

namespace {

bool Is(std::string_view property, std::string_view name) { return EqualsNoCase(property, name); }

bool BoolOr(const Control& c, std::string_view property, std::string_view value) {
    auto b = ParseBool(value);
    if (!b) throw Error("Invalid value \"" + std::string(value) + "\" for " + c.Name + "." + std::string(property) +
                        ": expected True or False");
    return *b;
}

int IntOr(const Control& c, std::string_view property, std::string_view value) {
    auto v = ParseInteger(value);
    if (!v || *v < -2147483647LL || *v > 2147483647LL)
        throw Error("Invalid value \"" + std::string(value) + "\" for " + c.Name + "." + std::string(property) +
                    ": expected a whole number");
    return int(*v);
}

double NumberOr(const Control& c, std::string_view property, std::string_view value) {
    auto v = ParseNumber(value);
    // "nan" and "inf" parse, but no control holds them: every later comparison would be false.
    if (!v || !std::isfinite(*v))
        throw Error("Invalid value \"" + std::string(value) + "\" for " + c.Name + "." + std::string(property) +
                    ": expected a number");
    return *v;
}

}  // namespace

Control::Control(ControlRegistry* owner, std::string_view name, std::string_view parent, ControlKind kind)
    : Name(name), Parent(parent), Kind(kind) {
    owner->Register(this);
}

std::optional<std::string> Control::GetProperty(std::string_view property) const {
    if (Is(property, "Caption")) return Caption;
    if (Is(property, "Hint")) return Hint;
    if (Is(property, "Visible")) return FormatBool(Visible);
    if (Is(property, "Enabled")) return FormatBool(Enabled);
    return std::nullopt;
}

void Control::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "Caption")) Caption = value;
    else if (Is(property, "Hint")) Hint = value;
    else if (Is(property, "Visible")) Visible = BoolOr(*this, property, value);
    else if (Is(property, "Enabled")) Enabled = BoolOr(*this, property, value);
    else throw Error(std::string(KindName(Kind)) + " " + Name + " has no property \"" + std::string(property) + "\"");
}

void Control::BadValue(std::string_view property, std::string_view value) const {
    throw Error("Invalid value \"" + std::string(value) + "\" for " + Name + "." + std::string(property));
}

// --- CheckBox

CheckBox::CheckBox(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
    : Control(owner, name, parent, ControlKind::CheckBox), Checked(init.checked), DefaultChecked(init.checked) {
    Caption = init.caption;
    Hint = init.hint;
    Visible = init.visible;
    Enabled = init.enabled;
}

std::optional<std::string> CheckBox::GetProperty(std::string_view property) const {
    if (Is(property, "Checked")) return FormatBool(Checked);
    return Control::GetProperty(property);
}

void CheckBox::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "Checked")) Checked = BoolOr(*this, property, value);
    else Control::SetProperty(property, value);
}

// --- SpinEdit

SpinEdit::SpinEdit(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
    : Control(owner, name, parent, ControlKind::SpinEdit),
      Value(init.value),
      MinValue(init.minValue),
      MaxValue(init.maxValue),
      Increment(init.increment),
      Decimals(init.decimals),
      DefaultValue(init.value) {
    Caption = init.caption;
    Hint = init.hint;
    Visible = init.visible;
    Enabled = init.enabled;
}

void SpinEdit::SetValue(double v) {
    if (MinValue != 0 || MaxValue != 0) v = std::clamp(v, MinValue, MaxValue);
    Value = v;
}

std::optional<std::string> SpinEdit::GetProperty(std::string_view property) const {
    if (Is(property, "Value")) return FormatNumber(Value);
    if (Is(property, "MinValue")) return FormatNumber(MinValue);
    if (Is(property, "MaxValue")) return FormatNumber(MaxValue);
    if (Is(property, "Increment")) return FormatNumber(Increment);
    return Control::GetProperty(property);
}

void SpinEdit::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "Value")) SetValue(NumberOr(*this, property, value));
    else if (Is(property, "MinValue")) MinValue = NumberOr(*this, property, value);
    else if (Is(property, "MaxValue")) MaxValue = NumberOr(*this, property, value);
    else if (Is(property, "Increment")) Increment = NumberOr(*this, property, value);
    else Control::SetProperty(property, value);
}

// --- Slider

Slider::Slider(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
    : Control(owner, name, parent, ControlKind::Slider),
      Value(init.value),
      MinValue(init.minValue),
      MaxValue(init.maxValue),
      Increment(init.increment),
      Orient(init.orientation),
      ShownDecimals(init.shownDecimals),
      ShownOffset(init.shownOffset),
      DefaultValue(init.value) {
    Caption = init.caption;
    Hint = init.hint;
    Visible = init.visible;
    Enabled = init.enabled;
}

void Slider::SetValue(int v) { Value = std::clamp(v, MinValue, std::max(MinValue, MaxValue)); }

std::optional<std::string> Slider::GetProperty(std::string_view property) const {
    if (Is(property, "Value")) return std::to_string(Value);
    if (Is(property, "MinValue")) return std::to_string(MinValue);
    if (Is(property, "MaxValue")) return std::to_string(MaxValue);
    if (Is(property, "Increment")) return std::to_string(Increment);
    return Control::GetProperty(property);
}

void Slider::SetProperty(std::string_view property, std::string_view value) {
    // A stored slider value may have been written as a decimal by another version.
    auto whole = [&] {
        if (auto i = ParseInteger(value)) return IntOr(*this, property, value);
        const double v = NumberOr(*this, property, value);
        // Beyond an int the rounding would wrap to an arbitrary slider position.
        if (std::abs(v) > 2147483647.0)
            throw Error("Invalid value \"" + std::string(value) + "\" for " + Name + "." + std::string(property) +
                        ": expected a whole number");
        return int(std::lrint(v));
    };
    if (Is(property, "Value")) SetValue(whole());
    else if (Is(property, "MinValue")) MinValue = whole();
    else if (Is(property, "MaxValue")) MaxValue = whole();
    else if (Is(property, "Increment")) Increment = whole();
    else Control::SetProperty(property, value);
}

// --- Choice (RadioGroup, ComboBox)

Choice::Choice(ControlRegistry* owner, std::string_view name, std::string_view parent, ControlKind kind, Init init)
    : Control(owner, name, parent, kind),
      Items(std::move(init.items)),
      ItemIndex(init.itemIndex),
      DefaultItemIndex(init.itemIndex) {
    Caption = init.caption;
    Hint = init.hint;
    Visible = init.visible;
    Enabled = init.enabled;
}

std::string Choice::Text() const {
    return ItemIndex >= 0 && ItemIndex < int(Items.size()) ? Items[std::size_t(ItemIndex)] : std::string();
}

bool Choice::SelectText(std::string_view text) {
    for (std::size_t i = 0; i < Items.size(); ++i)
        if (Items[i] == text) {
            ItemIndex = int(i);
            return true;
        }
    return false;
}

std::optional<std::string> Choice::GetProperty(std::string_view property) const {
    if (Is(property, "ItemIndex")) return std::to_string(ItemIndex);
    if (Is(property, "Text")) return Text();
    return Control::GetProperty(property);
}

void Choice::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "ItemIndex")) {
        int i = IntOr(*this, property, value);
        if (i < -1 || i >= int(Items.size())) BadValue(property, value);
        ItemIndex = i;
    } else if (Is(property, "Text")) {
        if (!SelectText(value)) BadValue(property, value);
    } else {
        Control::SetProperty(property, value);
    }
}

// --- SimpleControl, PageControl

SimpleControl::SimpleControl(ControlRegistry* owner, std::string_view name, std::string_view parent, ControlKind kind,
                             Init init)
    : Control(owner, name, parent, kind) {
    Caption = init.caption;
    Hint = init.hint;
    Visible = init.visible;
    Enabled = init.enabled;
}

std::optional<std::string> PageControl::GetProperty(std::string_view property) const {
    if (Is(property, "ActivePageIndex")) return std::to_string(ActivePageIndex);
    return Control::GetProperty(property);
}

void PageControl::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "ActivePageIndex")) ActivePageIndex = IntOr(*this, property, value);
    else Control::SetProperty(property, value);
}

// --- Panel

Panel::Panel(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
    : Control(owner, name, parent, ControlKind::Panel), Expand(init.expand), Row(init.row) {
    Caption = init.caption;
    Hint = init.hint;
    Visible = init.visible;
    Enabled = init.enabled;
}

std::optional<std::string> Panel::GetProperty(std::string_view property) const {
    if (Is(property, "Expand")) return FormatBool(Expand);
    return Control::GetProperty(property);
}

void Panel::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "Expand")) Expand = BoolOr(*this, property, value);
    else Control::SetProperty(property, value);
}

// --- TabSheet

TabSheet::TabSheet(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
    : Control(owner, name, parent, ControlKind::TabSheet), TabVisible(init.tabVisible) {
    Caption = init.caption;
}

std::optional<std::string> TabSheet::GetProperty(std::string_view property) const {
    if (Is(property, "TabVisible")) return FormatBool(TabVisible);
    return Control::GetProperty(property);
}

void TabSheet::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "TabVisible")) TabVisible = BoolOr(*this, property, value);
    else Control::SetProperty(property, value);
}

// --- ToolWindow

ToolWindow::ToolWindow(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
    : Control(owner, name, parent, ControlKind::ToolWindow),
      Left(init.left),
      Top(init.top),
      Width(init.width),
      Height(init.height) {
    Caption = init.caption;
    Visible = false;  // tool windows appear when their page or operation shows them
}

std::optional<std::string> ToolWindow::GetProperty(std::string_view property) const {
    if (Is(property, "Left")) return std::to_string(Left);
    if (Is(property, "Top")) return std::to_string(Top);
    if (Is(property, "Width")) return std::to_string(Width);
    if (Is(property, "Height")) return std::to_string(Height);
    return Control::GetProperty(property);
}

void ToolWindow::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "Left")) Left = IntOr(*this, property, value);
    else if (Is(property, "Top")) Top = IntOr(*this, property, value);
    else if (Is(property, "Width")) Width = std::max(1, IntOr(*this, property, value));
    else if (Is(property, "Height")) Height = std::max(1, IntOr(*this, property, value));
    else Control::SetProperty(property, value);
}

// --- Memo

Memo::Memo(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
    : Control(owner, name, parent, ControlKind::Memo) {
    Caption = init.caption;
    Hint = init.hint;
    Visible = init.visible;
    Enabled = init.enabled;
}

// --- ItemList

ItemList::ItemList(ControlRegistry* owner, std::string_view name, std::string_view parent, ControlKind kind, Init init)
    : Control(owner, name, parent, kind), MultiSelect(init.multiSelect) {
    Caption = init.caption;
    Hint = init.hint;
    Visible = init.visible;
    Enabled = init.enabled;
}

void ItemList::Clear() {
    Items.clear();
    Checked.clear();
    Grayed.clear();
    Selected.clear();
    ItemIndex = -1;
    TopIndex = 0;
}

void ItemList::Add(std::string item, bool checked) {
    Items.push_back(std::move(item));
    Selected.push_back(false);
    if (Kind == ControlKind::CheckListBox) {
        Checked.push_back(checked);
        Grayed.push_back(false);
    }
}

std::optional<std::string> ItemList::GetProperty(std::string_view property) const {
    if (Is(property, "ItemIndex")) return std::to_string(ItemIndex);
    if (Is(property, "Count")) return std::to_string(Items.size());
    return Control::GetProperty(property);
}

void ItemList::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "ItemIndex")) {
        int i = IntOr(*this, property, value);
        if (i < -1 || i >= int(Items.size())) BadValue(property, value);
        ItemIndex = i;
    } else {
        Control::SetProperty(property, value);
    }
}

// --- Edit

Edit::Edit(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
    : Control(owner, name, parent, ControlKind::Edit), Text(init.text) {
    Caption = init.caption;
    Hint = init.hint;
    Visible = init.visible;
    Enabled = init.enabled;
}

std::optional<std::string> Edit::GetProperty(std::string_view property) const {
    if (Is(property, "Text")) return Text;
    return Control::GetProperty(property);
}

void Edit::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "Text")) Text = value;
    else Control::SetProperty(property, value);
}

// --- Picture

Picture::Picture(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
    : Control(owner, name, parent, ControlKind::Picture), Width(init.width), Height(init.height), Scroller(init.scroller) {
    Caption = init.caption;
    Hint = init.hint;
    Visible = init.visible;
    Enabled = init.enabled;
    // Graphs and thumbnails are drawn at their own size from the start, on white; the big
    // views stay empty until a frame arrives, so an empty view shows the page's background.
    if (Width > 0 && Height > 0 && Width <= 400 && Height <= 400) {
        Image.SetSize(Width, Height);
        Image.Fill(ColourOf(0xFFFFFF));
    }
}

std::optional<std::string> Picture::GetProperty(std::string_view property) const {
    if (Is(property, "Width")) return std::to_string(Width);
    if (Is(property, "Height")) return std::to_string(Height);
    return Control::GetProperty(property);
}

void Picture::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "Width")) Width = std::max(0, IntOr(*this, property, value));
    else if (Is(property, "Height")) Height = std::max(0, IntOr(*this, property, value));
    else Control::SetProperty(property, value);
}

// --- Gauge

std::optional<std::string> Gauge::GetProperty(std::string_view property) const {
    if (Is(property, "Progress")) return std::to_string(Progress);
    return Control::GetProperty(property);
}

void Gauge::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "Progress")) Progress = std::clamp(IntOr(*this, property, value), 0, 100);
    else Control::SetProperty(property, value);
}

// --- FileDialog

FileDialog::FileDialog(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
    : Control(owner, name, parent, ControlKind::FileDialog),
      Filter(init.filter),
      FilterIndex(init.filterIndex),
      DefaultExt(init.defaultExt),
      MultiSelect(init.multiSelect) {
    Caption = init.caption;
    Visible = false;
}

std::optional<std::string> FileDialog::GetProperty(std::string_view property) const {
    if (Is(property, "FileName")) return FileName;
    if (Is(property, "FilterIndex")) return std::to_string(FilterIndex);
    if (Is(property, "InitialDir")) return InitialDir;
    if (Is(property, "Filter")) return Filter;
    return Control::GetProperty(property);
}

void FileDialog::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "FileName")) FileName = value;
    else if (Is(property, "FilterIndex")) FilterIndex = IntOr(*this, property, value);
    else if (Is(property, "InitialDir")) InitialDir = value;
    else if (Is(property, "Filter")) Filter = value;
    else Control::SetProperty(property, value);
}

// --- DirectoryList, ScrollBox

std::optional<std::string> DirectoryList::GetProperty(std::string_view property) const {
    if (Is(property, "Directory")) return Directory;
    return Control::GetProperty(property);
}

void DirectoryList::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "Directory")) Directory = value;
    else Control::SetProperty(property, value);
}

std::optional<std::string> ScrollBox::GetProperty(std::string_view property) const {
    if (Is(property, "HorzPosition")) return std::to_string(HorzPosition);
    if (Is(property, "VertPosition")) return std::to_string(VertPosition);
    return Control::GetProperty(property);
}

void ScrollBox::SetProperty(std::string_view property, std::string_view value) {
    if (Is(property, "HorzPosition")) HorzPosition = IntOr(*this, property, value);
    else if (Is(property, "VertPosition")) VertPosition = IntOr(*this, property, value);
    else Control::SetProperty(property, value);
}

}  // namespace talvenor
