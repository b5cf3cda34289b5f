#pragma once
// The Stacking page's alignment points: "Place automatically", "Clear", adding and removing
// points by clicking the stack, and the boxes drawn over it.
#include "session/session.h"

namespace talvenor {

// The boxes over the stack picture and the count beside them, from the points in hand.
void ShowAlignmentPoints(Session& s);

// "Place automatically": points on the stack in hand by the page's settings.
void APPlaceButtonClick(Session& s);
// "Clear": no points; the user places them by clicking (or the next stack places them again).
void APClearButtonClick(Session& s);
// A click on the stack with "Add or remove points by clicking": removes the point whose box
// holds the click, else adds one centred there.
void StackimageMouseDown(Session& s, const EventArgs& e);

void RegisterAlignmentPointHandlers(Session& s);

}  // namespace talvenor
