#pragma once
// The Wavelet Processing page's work: splitting the processing area into layers ("Process"),
// rebuilding the picture from them, "Do all" over the whole image, and the page's "Reset".
#include <string>

#include "session/session.h"
#include "wavelets/rebuild.h"

namespace talvenor {

// The page's per-layer controls, layer n = 1..6.
Slider& GainSlider(Controls& f, int n);
CheckBox& LayerBox(Controls& f, int n);
CheckBox& CutBox(Controls& f, int n);
Button& LayerButton(Controls& f, int n);

// The gains on the layer buttons, contrast and brightness in their captions.
void ShowGainCaptions(Controls& f);

// The processed picture becomes the stacked one (the corner marks go with it).
void CopyStackedPicture(Session& s);

// The processing area clipped to the stacked image.
LayerArea ProcessArea(const Workspace& ws);

// The rebuild's settings as the page's controls and the noise window stand.
RebuildSettings RebuildSettingsFromControls(Session& s);

// The working planes from the stack, with the channel shift and the luminance mix.
void BuildWorkingPlanesFromControls(Session& s);

// The working planes as BuildWorkingPlanesFromControls makes them, restored inside the
// processing area when the page deconvolves (with its own progress line when `progress`).
// False when the user cancelled the deconvolution.
bool PrepareWorkingPlanes(Session& s, bool progress);

// Layers 1..6 of the processing area from freshly built working planes, with their
// statistics; `detail`, when given, is the progress line shown for layer n.
void DecomposeAllLayers(Session& s, const std::function<std::string(int)>& detail);

// The processed picture from the stored layers; captions, picture, 16-bit result, histograms.
void RebuildImage(Session& s);

// "Process": the stacked picture into the processed one, the layers again when stale, the
// rebuild. Does nothing before a stack exists.
void Process(Session& s);

// "Do all": every tile of the image in turn, then the area live again. False when the user
// cancelled it (the tiles done so far stay on the picture).
bool ProcessAllTiles(Session& s);

// The processed picture and the 16-bit result hold the whole image processed with the settings
// as they stand.
bool WholePictureProcessed(const Session& s);

// What every save and copy of the processed or final picture runs first: the whole image
// processed as "Do all" does, unless it already is (or there is nothing to process). False
// when the user cancelled it.
bool ProcessWholePicture(Session& s);

// The processed picture as it is saved or copied: without the processing area's marks.
Bitmap24 ProcessedPicture(const Session& s);

// "Show processing area": the marks on or off without processing anything again.
void ToggleAreaMarks(Session& s);

// The page's "Reset": the wavelets as the method, scheme, gains, contrast, brightness and gamma
// back to neutral; Process.
void ResetLayerSettings(Session& s);

// A new input: the wavelets as the method, gains, contrast, brightness and gamma back to neutral
// unless "Hold layer settings" is checked; every layer enabled in any case.
void ResetWaveletsForNewInput(Session& s);

// "Do all" is offered only when the area is narrower or lower than the image.
void ShowDoAllWhenPartial(Session& s);

}  // namespace talvenor
