#pragma once
// What registration keeps between frames and between operations: the alignment box, the
// reference spectrum and the picture it was computed on, the tracking offsets, the state of
// a manual pick, and the planes of the current frame.
#include <memory>
#include <optional>
#include <vector>

#include "registration/fft_engine.h"
#include "registration/quality_band.h"
#include "workspace/bitmap24.h"

namespace talvenor {

class QualityLanes;

struct AlignmentState {
public:
    int AlignBoxX = 0, AlignBoxY = 0;  // top-left of the box in frame pixels
    int FeatureFrame = 0;              // the frame shown when the feature was picked
    FftPlane BoxPlane;                 // luminance of the box
    FftPlane ReferenceRe, ReferenceIm; // the reference spectrum
    FftPlane FrameSpecRe, FrameSpecIm; // spectrum of the current frame's box
    float FFTFilterRadius2 = 100;
    Bitmap24 ReferenceImage;           // the frame the reference was computed on
    int TrackDX = 0, TrackDY = 0, PredictDX = 0, PredictDY = 0;
    double PreviousPeak = 0;
    bool HasReference = false;
    // The quality band the reference box suggests (nothing for a flat box).
    std::optional<QualityBandAnalysis> ReferenceBand;

    // Manual alignment and the lost-alignment question.
    bool ManualAlignOn = false;
    bool WaitingForClick = false;
    int ClickX = 0, ClickY = 0;
    bool RealignRequested = false;
    bool AlignAndStack = false;

    // The box outline that follows the pointer (drawn in exclusive-or, so drawing it again
    // erases it); OutlineErased after a box-size change, when the old one is gone.
    std::optional<std::pair<int, int>> PreviewOutline;
    std::optional<std::pair<int, int>> AlignOutline;
    bool OutlineErased = false;

    // The shift of the last frame aligned with tracking, for the prediction.
    int LastShiftX = 0, LastShiftY = 0;
    bool HasLastShift = false;

    void ClearTracking() {
        TrackDX = TrackDY = PredictDX = PredictDY = 0;
        LastShiftX = LastShiftY = 0;
        HasLastShift = false;
    }

    // The quality box's own transform (only when it differs from the alignment box), made
    // on first use and sized to q; and whether the last quality was measured on it.
    FftEngine& QualityEngine(int q);
    const FftEngine& QualityEngine() const { return *qualityEngine_; }
    bool HasQualityEngine() const { return qualityEngine_ != nullptr; }
    const std::vector<float>& QualityTaper(int q);
    bool QualityOnOwnBox = false;
    // During a pass: the lanes that measure the quality boxes beside the alignment (made and
    // finished by the pass; none outside one).
    std::shared_ptr<QualityLanes> PassQuality;
    int QualitiesBeside = 0;  // how many of the last pass's frames were measured there

    // The taper over the box, one factor per column (and row) for the current box side.
    // A box cut out of a frame is not periodic, but the transform treats it as if it were:
    // its edges then make a pattern that stays put while the feature moves and pulls the
    // measured shift towards zero. Fading the box out towards its edges removes that pull.
    const std::vector<float>& Taper(int n);

private:
    std::vector<float> taper_;
    std::vector<float> qualityTaper_;
    std::unique_ptr<FftEngine> qualityEngine_;
};

}  // namespace talvenor
