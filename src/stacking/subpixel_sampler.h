#pragma once
// Reading a frame at a fractional offset, for stacking each frame at its sub-pixel shift.
// The interpolation is Lanczos-3, separable: it keeps the fine detail that sub-pixel placement
// is meant to win (a bilinear read would blur it away again). The fraction is the same for
// every pixel of a frame, so each axis has one table of six weights per frame, and the frame
// is read a row at a time through a small ring of converted rows: nothing is allocated per
// pixel, and the buffers are kept from frame to frame.
#include <array>
#include <functional>
#include <vector>

namespace talvenor {

// The weights for reading a sample at i + t (i whole, 0 <= t < 1) from samples i + First ..
// i + First + Count - 1. A whole position reads its own sample only, so a frame without a
// fraction is read exactly.
struct SubPixelTaps {
    int First = 0;
    int Count = 1;
    std::array<float, 6> Weight{1, 0, 0, 0, 0, 0};
    static SubPixelTaps For(double fraction);
};

class SubPixelSampler {
public:
    static constexpr int kMaxChannels = 3;
    // Fills one source row (0 <= row < height) of every channel: channel c's samples go to
    // out[c][0 .. width - 1].
    using RowSource = std::function<void(int row, float* const* out)>;

    // Prepares reading a source of `width` x `height` samples with `channels` channels so that
    // destination (x, y) shows source position (x + shiftX, y + shiftY). Only destinations
    // whose position lies within columns lo..hi and rows lo..hi of the source are read (the
    // taps beyond the source edge repeat the edge sample).
    void Begin(int channels, int width, int height, double shiftX, double shiftY, int loX, int hiX, int loY,
               int hiY, RowSource source);

    // The destination range; empty when First > Last.
    int FirstColumn() const { return x0_; }
    int LastColumn() const { return x1_; }
    int FirstRow() const { return y0_; }
    int LastRow() const { return y1_; }
    // The source row nearest to destination row y (for rules that choose rows of the source).
    int NearestSourceRow(int y) const;

    // Destination row y (FirstRow..LastRow): channel c's values for columns FirstColumn ..
    // LastColumn, valid until the next call.
    void ReadRow(int y);
    const float* Row(int channel) const { return out_[std::size_t(channel)].data(); }

private:
    const float* SourceRow(int row);  // converted source row (padded), through the ring

    static constexpr int kPad = 3;  // taps reach 2 samples left and 3 right
    static constexpr int kRing = 8;
    int channels_ = 1, width_ = 0, height_ = 0;
    int wholeX_ = 0, wholeY_ = 0;
    double shiftY_ = 0;
    SubPixelTaps tapsX_, tapsY_;
    int x0_ = 0, x1_ = -1, y0_ = 0, y1_ = -1;
    RowSource source_;
    // Ring of converted rows: slot s holds source row ringRow_[s], channels side by side, each
    // padded by kPad repeated edge samples on both sides.
    std::vector<float> ring_;
    std::array<int, kRing> ringRow_{};
    std::vector<float> column_;  // the vertical sums of one destination row, padded like a source row
    std::array<std::vector<float>, kMaxChannels> out_;
};

}  // namespace talvenor
