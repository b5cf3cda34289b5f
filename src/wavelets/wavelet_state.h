#pragma once
// What the wavelet page keeps between user actions besides the workspace's planes: the
// normalised kernel, the statistics of the last decomposition, the noise thresholds, the gamma
// window's spline and the picture saved while a layer is previewed.
#include <array>

#include "wavelets/decomposition.h"
#include "wavelets/histogram.h"
#include "wavelets/tb_spline.h"
#include "workspace/bitmap24.h"

namespace talvenor {

struct WaveletState {
    SmoothingKernel Kernel = NormalisedKernel(DefaultKernelValues());

    // Statistics of layers 1..6 (index 0 unused), channel 1 only.
    std::array<float, kLayers + 1> LayerVariance{}, LayerMeanAbs{};
    NoiseRatios Ratios;

    // Per-layer noise thresholds and the anti-ring level, set by the noise window.
    std::array<float, kLayers + 1> NoiseThreshold{};
    float AntiRingLevel = 0;

    // The blind estimate of the stack's Gaussian blur in pixels (0: not measured).
    double BlurSigma = 0;

    // The gamma window's curve.
    TBSpline GammaSpline;

    // The histogram window's range and markers.
    HistogramState Histogram;

    // The processed picture as it was before a layer button was pressed.
    Bitmap24 PreviewBackup;
    bool Previewing = false;

    bool DoAllRunning = false;
    // The processed picture and the 16-bit result hold the whole image processed with the
    // settings as they stand ("Do all" finished, or an area that covers the image), so a save
    // need not process it again. Every rebuild of a partial area clears it.
    bool WholeProcessed = false;
    // Corner marks of the processing area are drawn by the rebuild ("Show processing area",
    // never during "Do all"). They are drawn in XOR outside the redrawn region, so the state
    // remembers whether and where they are on the picture: the next rebuild takes them off
    // before drawing them again.
    bool MarksDrawn = false;
    LayerArea MarksArea;
};

}  // namespace talvenor
