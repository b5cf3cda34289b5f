#pragma once
// The kinds of control the main window and its tool windows are made of, as plain data.
// The core reads and writes these; the Qt layer mirrors them into widgets. Every control
// registers itself with its registry (the Controls of the Session) under its name, so the settings file, the
// project files, `--set Control.Property=VALUE` and the GUI binder all find it by name.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/bitmap24.h"
#include "workspace/graph_frame.h"

namespace talvenor {

class ControlRegistry;
class ScrollBox;

enum class ControlKind {
    CheckBox,
    SpinEdit,
    Slider,
    RadioGroup,
    ComboBox,
    Label,
    Button,
    Panel,
    TabSheet,
    PageControl,
    ToolWindow,
    Memo,
    ListBox,
    CheckListBox,
    Edit,
    Picture,
    Gauge,
    FileDialog,
    DirectoryList,
    ScrollBox,
};

std::string_view KindName(ControlKind kind);

// Common to every control. `Parent` names the container the control sits on: a page
// ("TabSheet1"), a panel ("Optimizepanel"), a tool window ("FFTWindow") or "MainForm".
class Control {
public:
    Control(ControlRegistry* owner, std::string_view name, std::string_view parent, ControlKind kind);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string Name;
    const std::string Parent;
    const ControlKind Kind;
    std::string Caption;
    std::string Hint;
    bool Visible = true;
    bool Enabled = true;

    // Property access by name (case-insensitive), for the settings file, project files
    // and the command line. Get returns nothing for a property this kind lacks; Set
    // throws talvenor::Error naming the control for an unknown property or a bad value.
    virtual std::optional<std::string> GetProperty(std::string_view property) const;
    virtual void SetProperty(std::string_view property, std::string_view value);

protected:
    [[noreturn]] void BadValue(std::string_view property, std::string_view value) const;
};

// Shared initialiser fields. Each kind's Init lists them first, so a declaration reads
// `CheckBox Followme{this, "Followme", "TabSheet2", {.caption = "Track object", .checked = true}};`

class CheckBox : public Control {
public:
    struct Init {
        std::string_view caption;
        bool visible = true;
        bool enabled = true;
        std::string_view hint;
        bool checked = false;
    };
    CheckBox(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init);
    bool Checked;
    const bool DefaultChecked;
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

// A number box with arrows. Values are doubles; `Decimals` 0 shows whole numbers.
class SpinEdit : public Control {
public:
    struct Init {
        std::string_view caption;
        bool visible = true;
        bool enabled = true;
        std::string_view hint;
        double value = 0;
        double minValue = 0;
        double maxValue = 0;  // MinValue == MaxValue == 0 means unbounded
        double increment = 1;
        int decimals = 0;
    };
    SpinEdit(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init);
    double Value;
    double MinValue, MaxValue, Increment;
    int Decimals;
    const double DefaultValue;
    // Value held inside MinValue..MaxValue (when bounded), as the control itself does.
    void SetValue(double v);
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

class Slider : public Control {
public:
    enum class Orientation { Horizontal, Vertical };
    struct Init {
        std::string_view caption;
        bool visible = true;
        bool enabled = true;
        std::string_view hint;
        int value = 0;
        int minValue = 0;
        int maxValue = 100;
        int increment = 1;
        Orientation orientation = Orientation::Horizontal;
        int shownDecimals = 0;
        int shownOffset = 0;
    };
    Slider(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init);
    int Value;
    int MinValue, MaxValue, Increment;
    Orientation Orient;
    // The number beside the slider shows Value / 10^ShownDecimals (a gain held in tenths reads
    // 2.5 and steps by 0.1); the value itself, and what is stored, stays the whole number.
    int ShownDecimals;
    // Added to the value for the number beside the slider (a rank counted from 0 reads from 1).
    int ShownOffset;
    const int DefaultValue;
    void SetValue(int v);
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

// RadioGroup and ComboBox: a choice among items. `Text` of a combo follows the item.
class Choice : public Control {
public:
    struct Init {
        std::string_view caption;
        bool visible = true;
        bool enabled = true;
        std::string_view hint;
        std::vector<std::string> items;
        int itemIndex = -1;
    };
    Choice(ControlRegistry* owner, std::string_view name, std::string_view parent, ControlKind kind, Init init);
    std::vector<std::string> Items;
    int ItemIndex;
    const int DefaultItemIndex;
    // The selected item's text, "" when none.
    std::string Text() const;
    // Selects the item with this text; returns false (and keeps the choice) when none matches.
    bool SelectText(std::string_view text);
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

class RadioGroup : public Choice {
public:
    RadioGroup(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
        : Choice(owner, name, parent, ControlKind::RadioGroup, std::move(init)) {}
};

class ComboBox : public Choice {
public:
    ComboBox(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
        : Choice(owner, name, parent, ControlKind::ComboBox, std::move(init)) {}
};

// Controls whose state is their caption and visibility only.
class SimpleControl : public Control {
public:
    struct Init {
        std::string_view caption;
        bool visible = true;
        bool enabled = true;
        std::string_view hint;
        std::string_view heading;  // labels only
    };
    SimpleControl(ControlRegistry* owner, std::string_view name, std::string_view parent, ControlKind kind, Init init);
};

class Label : public SimpleControl {
public:
    Label(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
        : SimpleControl(owner, name, parent, ControlKind::Label, init), Heading(init.heading) {}
    // What a bare value means ("Shift" before "-1 2"), shown beside it; the caption stays
    // the value alone.
    std::string Heading;
};

// Push buttons; `Down` is true while a press-and-hold button is held.
class Button : public SimpleControl {
public:
    Button(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
        : SimpleControl(owner, name, parent, ControlKind::Button, init) {}
    bool Down = false;
};

class PageControl : public SimpleControl {
public:
    PageControl(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
        : SimpleControl(owner, name, parent, ControlKind::PageControl, init) {}
    int ActivePageIndex = 0;
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

// A collapsible group; the caption is on its header button.
class Panel : public Control {
public:
    struct Init {
        std::string_view caption;
        bool visible = true;
        bool enabled = true;
        std::string_view hint;
        bool expand = true;
        bool row = false;
    };
    Panel(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init);
    bool Expand;
    // The panel's controls stand side by side rather than one under the other.
    const bool Row;
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

class TabSheet : public Control {
public:
    struct Init {
        std::string_view caption;
        bool tabVisible = true;
    };
    TabSheet(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init);
    bool TabVisible;
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

// A floating window with a close box; Visible is whether it is shown.
class ToolWindow : public Control {
public:
    struct Init {
        std::string_view caption;
        int left = 0;
        int top = 0;
        int width = 300;
        int height = 200;
    };
    ToolWindow(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init);
    int Left, Top, Width, Height;
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

class Memo : public Control {
public:
    struct Init {
        std::string_view caption;
        bool visible = true;
        bool enabled = true;
        std::string_view hint;
    };
    Memo(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init);
    std::vector<std::string> Lines;
    // Rich text loaded from a help file; shown instead of Lines when not empty.
    std::string Html;
    void Clear() { Lines.clear(); Html.clear(); }
};

// ListBox and CheckListBox: items, one check mark per item (check lists), selection.
class ItemList : public Control {
public:
    struct Init {
        std::string_view caption;
        bool visible = true;
        bool enabled = true;
        std::string_view hint;
        bool multiSelect = false;
    };
    ItemList(ControlRegistry* owner, std::string_view name, std::string_view parent, ControlKind kind, Init init);
    std::vector<std::string> Items;
    std::vector<bool> Checked;   // same length as Items for a check list, else empty
    std::vector<bool> Grayed;    // the grey (indeterminate) check state, same length as Checked
    std::vector<bool> Selected;  // highlighted items, same length as Items
    int ItemIndex = -1;
    int TopIndex = 0;
    bool MultiSelect;
    void Clear();
    void Add(std::string item, bool checked = false);
    int Count() const { return int(Items.size()); }
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

class ListBox : public ItemList {
public:
    ListBox(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
        : ItemList(owner, name, parent, ControlKind::ListBox, init) {}
};

class CheckListBox : public ItemList {
public:
    CheckListBox(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
        : ItemList(owner, name, parent, ControlKind::CheckListBox, init) {}
};

class Edit : public Control {
public:
    struct Init {
        std::string_view caption;
        bool visible = true;
        bool enabled = true;
        std::string_view hint;
        std::string_view text;
    };
    Edit(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init);
    std::string Text;
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

// A display picture. The core draws into `Image`; Host::Repaint tells the GUI to show it.
class Picture : public Control {
public:
    struct Init {
        std::string_view caption;
        bool visible = true;
        bool enabled = true;
        std::string_view hint;
        int width = 0;
        int height = 0;
        ScrollBox* scroller = nullptr;
    };
    Picture(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init);
    Bitmap24 Image;
    // Display size of the control; a picture larger than this scrolls.
    int Width, Height;
    // The page's scroll box that says where the view around the picture is scrolled to (none:
    // the view is scrolled by the user only).
    ScrollBox* Scroller;
    // Outlines shown over the picture (the alignment points on the stack): drawn by the view,
    // never into Image, so saving the picture never saves them. Left, top and side in pixels.
    struct Box {
        int Left = 0, Top = 0, Size = 0;
    };
    std::vector<Box> Boxes;
    // For a graph: its axes and legend, shown around Image (which stays the data area alone).
    GraphAxes Axes;
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

// The pie gauge of the progress window: a whole percentage.
class Gauge : public SimpleControl {
public:
    Gauge(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
        : SimpleControl(owner, name, parent, ControlKind::Gauge, init) {}
    int Progress = 0;
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

// An open or save dialog's remembered state; Host shows the dialog itself.
class FileDialog : public Control {
public:
    struct Init {
        std::string_view caption;  // dialog title
        std::string_view filter;   // "Description|*.ext;*.ext2|Description|*.ext3"
        int filterIndex = 1;       // 1-based, as file dialogs count types
        std::string_view defaultExt;
        bool multiSelect = false;
    };
    FileDialog(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init);
    std::string Filter;
    int FilterIndex;
    std::string DefaultExt;
    bool MultiSelect;
    std::string FileName;
    std::vector<std::string> Files;
    std::string InitialDir;
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

class DirectoryList : public SimpleControl {
public:
    DirectoryList(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
        : SimpleControl(owner, name, parent, ControlKind::DirectoryList, init) {}
    std::string Directory;
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

class ScrollBox : public SimpleControl {
public:
    ScrollBox(ControlRegistry* owner, std::string_view name, std::string_view parent, Init init)
        : SimpleControl(owner, name, parent, ControlKind::ScrollBox, init) {}
    int HorzRange = 0, VertRange = 0;
    // The corner of the part shown, in picture pixels.
    int HorzPosition = 0, VertPosition = 0;
    // The size of the part shown, in picture pixels (0: no view has reported it yet).
    int ViewWidth = 0, ViewHeight = 0;
    std::optional<std::string> GetProperty(std::string_view property) const override;
    void SetProperty(std::string_view property, std::string_view value) override;
};

}  // namespace talvenor
