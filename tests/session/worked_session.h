#pragma once
// The work a user does before the later pages: the feature clicked on the preview, the
// alignment pass, the stack.
#include "session/session.h"
#include "session/stacking_handlers.h"

namespace talvenor::testing {

// Clicks the feature at (x, y) (status 1), runs "Align" (status 2 and on) and, from status 4,
// stacks the ranks 0 .. cut.
inline void WorkUpTo(Session& s, int status, int x, int y, int cut) {
    if (status >= 1) {
        EventArgs click;
        click.Button = MouseButton::Left;
        click.X = x;
        click.Y = y;
        s.Dispatch("PreviewImage", Event::MouseDown, click);
    }
    if (status >= 2) s.Dispatch("Allignallbutton", Event::Click);
    if (status >= 4) {
        s.form.StackSlider.Value = cut;
        Stack(s);
    }
}

}  // namespace talvenor::testing
