#pragma once
// What the user did to a control, without toolkit types: the GUI translates its events into
// these, the tests and the command line make them directly.
#include <string>
#include <vector>

namespace talvenor {

enum class Event {
    Click,       // buttons, check boxes, radio groups, list items
    Change,      // sliders, spins, combos, edits (a slider: released, or moved by the keyboard)
    Tracking,    // a slider's handle being dragged (its value moves; the release sends Change)
    DblClick,
    MouseDown,
    MouseMove,
    MouseUp,
    KeyDown,
    ClickCheck,  // a check mark of a check list toggled
    Close,       // a tool window's close box
    Moved,       // a tool window was moved
    Resized,     // a tool window was resized by the user (its Width and Height hold the new size)
    Enter,       // a page received the input focus
    FilesDropped,  // files dropped from the file manager onto the window
    Scrolled,    // a picture's view was scrolled, zoomed or resized (its Scroll and View fields hold the part shown)
};

// Key codes of KeyDown besides printable characters.
constexpr int kKeyLeft = 0x25, kKeyRight = 0x27;

enum class MouseButton { None, Left, Right, Middle };

struct EventArgs {
    int X = 0, Y = 0;  // picture pixels for mouse events
    MouseButton Button = MouseButton::None;
    bool Shift = false, Ctrl = false, Alt = false;
    int Key = 0;       // key code for KeyDown (' ' for the space bar, kKeyLeft, kKeyRight)
    int Item = -1;     // list item for list events
    std::vector<std::string> Files;  // FilesDropped
};

}  // namespace talvenor
