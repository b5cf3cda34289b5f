#pragma once
// What a new input takes away besides its own frame table: the previous capture's results
// (stack, processed and final pictures, and the saves that would write them) and the Final
// page's settings, so nothing of one capture is shown or saved as the next one's.
namespace talvenor {

class Session;

// The stack, the processed and final pictures and their graphs are gone; every save of them
// is disabled until the new capture has its own.
void ForgetPreviousResults(Session& s);

// Angle, flips, hue, saturation, lightness and their curves back at neutral, as the wavelet
// gains are, unless "Hold final settings" is checked. The crop goes with the picture anyway.
void ResetFinalForNewInput(Session& s);

}  // namespace talvenor
