#pragma once
// The HSL window of the Final page: the hue, saturation and lightness curves edited with the
// mouse, the tables the final render reads from them, and the hue picked from the picture.
#include "session/session.h"

namespace talvenor {

// The three curves back to their nine neutral points, the three tables to 0 and the graphs
// redrawn. The final picture is not re-rendered: the caller does that when it wants it.
void ResetHslCurves(Session& s);

// A point (hue, 50) on the hue curve between the points enclosing that hue, and the hue graph
// redrawn; nothing is inserted at an existing point's hue or outside 0 .. 360. The table
// follows at the next release on the graph.
void InsertHuePoint(Session& s, int hue);

// The three graphs drawn again with their curves as they stand, and the tables and the final
// picture brought into line with them, as a release on the graphs does.
void ApplyHslCurves(Session& s);

void RegisterHslWindowHandlers(Session& s);

}  // namespace talvenor
