#pragma once
// The quality of an alignment pass's frames measured beside it. Aligning a frame needs the shift
// of the one before (the box follows the feature), its quality does not: so while the calling
// thread aligns the next frame, a lane transforms this one's quality box, the largest transform
// of the frame. The box's pixels are copied out first, since the frame's picture goes back to the
// reader for the frame after next. The lane has a transform of its own; the quality is the one
// the calling thread would measure, to the bit.
//
// One lane, taken only when it is free: the other core also decodes the frames ahead, and where
// that keeps it busy (colour frames, large frames) a quality that waited for the lane would hold
// up the alignment, so the calling thread measures it itself.
#include <array>
#include <memory>
#include <vector>

#include "registration/fft_engine.h"
#include "registration/quality.h"
#include "workspace/bitmap24.h"
#include "workspace/frame_lanes.h"

namespace talvenor {

class QualityLanes {
public:
    QualityLanes();
    ~QualityLanes();  // waits for the qualities started

    // The quality of the q x q box with top-left (left, top) of `frame` (width x height of it
    // the picture's), as MeasureBoxSpectrum and `rating` give it, into record.Quality once it is
    // measured. False, measuring nothing, when the lane is busy or no pixel of the box lies in
    // the frame.
    bool Start(const Bitmap24& frame, int width, int height, int left, int top, int q,
               const std::array<float, 3>& weights, const std::vector<float>& taper, const QualityRating& rating,
               FrameRecord& record);
    // The quality of the mean-free aligned box in the n x n corner of `box` (the alignment box,
    // when it is the quality box too), as TaperAlignedBox, the transform and `rating` give it,
    // into record.Quality once measured. False, measuring nothing, when the lane is busy.
    bool StartAligned(const FftPlane& box, int n, const std::vector<float>& taper, const QualityRating& rating,
                      FrameRecord& record);
    // Waits until every quality started is stored; rethrows a lane's error.
    void Finish();

private:
    struct Lane {
        Bitmap24 Box;  // the box's pixels inside the frame
        FftEngine Engine;
        std::vector<float> Taper;
    };
    std::vector<std::unique_ptr<Lane>> lane_;
    FrameLanes lanes_;  // after lane_, so its end waits for the jobs before the lanes go
};

}  // namespace talvenor
