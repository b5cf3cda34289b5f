#pragma once
// "Deconvolution" on the Wavelet page: the working planes of the processing area are restored
// from the Gaussian blur before they are split into layers. The layers then carry the restored
// picture at gain 1, so the noise thresholds, the layer previews, the histogram, the gamma and
// the Final page take it as they take a wavelet result.
#include <vector>

#include "project/project_file.h"
#include "session/session.h"
#include "wavelets/deconvolution.h"

namespace talvenor {

// Whether the page sharpens by deconvolution rather than by the layer gains.
bool DeconvolutionChosen(const Controls& f);

// The filter, sigma and its parameter as the page's controls stand.
DeconvolutionSettings DeconvolutionSettingsFromControls(const Controls& f);

// The working planes the page sharpens: the three channels of a colour stack, else plane 1 (the
// grey stack, or the luminance of an LRGB one).
std::vector<Single2dArray*> SharpenedPlanes(Session& s);

// Restores the working planes inside the processing area (every channel of a colour stack, the
// luminance of an LRGB one). `progress` shows its own progress line and lets Cancel stop it;
// without, only Cancel is heard (the tiles of "Do all" show theirs). False when cancelled: the
// planes are then as they were built.
bool DeconvolveWorkingPlanes(Session& s, bool progress);

// The page's controls for the method in use: the deconvolution's group, its filter's parameter,
// the layer gains (fixed at 1 while deconvolving).
void ShowSharpeningControls(Controls& f);

// The Wiener regularisation as its spin holds it: four decimals, so a project keeps it exactly.
double WienerKOfSpin(double k);

// How the page sharpens, as a project keeps it, and back.
ProjectSharpening SharpeningOfControls(const Controls& f);
void ApplyProjectSharpening(Controls& f, const ProjectSharpening& p);

void RegisterDeconvolutionHandlers(Session& s);

}  // namespace talvenor
