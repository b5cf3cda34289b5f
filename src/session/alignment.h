#pragma once
// The Aligning page's operations: picking the feature on the preview, "Recalc FFT", the box
// size, the reference from the processed image, and the alignment pass with "Align && stack".
#include "session/session.h"

namespace talvenor {

// AlignBoxSize from the box-size choice, and the transforms of that size.
void SyncBoxSize(Session& s);

void PreviewImageMouseDown(Session& s, const EventArgs& e);
void PreviewImageMouseMove(Session& s, const EventArgs& e);
void AlignImageMouseDown(Session& s, const EventArgs& e);
void AlignImageMouseMove(Session& s, const EventArgs& e);
void Alignonebuttonclick(Session& s);  // "Recalc FFT"
void FFTsizeGroupClick(Session& s);
void UseProcessedClick(Session& s);
void AlignallButtonClick(Session& s);  // the pass
void AlignStackButtonClick(Session& s);
void RecalcQualClick(Session& s);
void RestartAlignClick(Session& s);

void RegisterAlignmentHandlers(Session& s);

}  // namespace talvenor
