// The alignment points' second pass: each chosen box matched for its shift, read there and added
// with a window that falls to zero at its edges, and the sums blended into the stack.
#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>

#include "stacking/alignment_point_passes.h"
#include "stacking/subpixel_sampler.h"
#include "workspace/frame_lanes.h"
#include "workspace/parallel_rows.h"
#include "workspace/vector_clones.h"

namespace talvenor {

namespace {

constexpr float kPi = 3.14159265358979f;

// dst[i] = w[0] rows[0][i] + w[1] rows[1][i] + ..., added from 0 in the taps' order, a run of
// pixels at a time in registers: adding each tap over the whole row in memory wrote the row back
// once a tap. Runs of 32 keep four independent sums going while each waits for its last addition.
template <int Vectors>
[[gnu::always_inline]] inline int AddTapRuns(const float* const* rows, const float* w, int count, int i, int size,
                                             float* dst) {
    using V = float __attribute__((vector_size(32)));  // eight floats: one AVX register, two SSE
    constexpr int kRun = 8 * Vectors;
    for (; i + kRun <= size; i += kRun) {
        V acc[Vectors] = {};
        for (int k = 0; k < count; ++k) {
            const float wk = w[k];
            for (int v = 0; v < Vectors; ++v) {
                V a;
                __builtin_memcpy(&a, rows[k] + i + 8 * v, sizeof a);
                acc[v] += wk * a;
            }
        }
        __builtin_memcpy(dst + i, acc, sizeof acc);
    }
    return i;
}

[[gnu::always_inline]] inline void AddTaps(const float* const* rows, const float* w, int count, int size, float* dst) {
    int i = AddTapRuns<4>(rows, w, count, 0, size, dst);
    i = AddTapRuns<1>(rows, w, count, i, size, dst);
    for (; i < size; ++i) {
        float acc = 0;
        for (int k = 0; k < count; ++k) acc += w[k] * rows[k][i];
        dst[i] = acc;
    }
}

// The box of channel plane `plane` read at (x + dx, y + dy), separably with the stacker's
// sub-pixel taps, into `out` (size x size): each output row from the six rows across it, kept in a
// small ring, so nothing is allocated per box. Each sample adds its taps in their order, so the
// loops run over pixels and vectorise.
TALVENOR_VECTOR_CLONES
void SampleBox(const Single2dArray& plane, int x0, int y0, int size, float dx, float dy, float* out) {
    const int wholeX = int(std::floor(dx)), wholeY = int(std::floor(dy));
    const SubPixelTaps tx = SubPixelTaps::For(double(dx) - wholeX), ty = SubPixelTaps::For(double(dy) - wholeY);
    constexpr int kRing = 6;
    std::array<float, kRing * kMaxBoxSide> ring;
    auto across = [&](int r) {  // source row r of the box, read across at the fraction
        const float* src = plane.Row(y0 + wholeY + ty.First + r) + (x0 + wholeX + tx.First);
        const std::array<const float*, 6> taps{src, src + 1, src + 2, src + 3, src + 4, src + 5};
        AddTaps(taps.data(), tx.Weight.data(), tx.Count, size, ring.data() + std::size_t(r % kRing) * kMaxBoxSide);
    };
    for (int r = 0; r + 1 < ty.Count; ++r) across(r);
    for (int j = 0; j < size; ++j) {
        across(j + ty.Count - 1);
        std::array<const float*, 6> taps{};
        for (int k = 0; k < ty.Count; ++k) taps[std::size_t(k)] = ring.data() + std::size_t((j + k) % kRing) * kMaxBoxSide;
        AddTaps(taps.data(), ty.Weight.data(), ty.Count, size, out + std::size_t(j) * std::size_t(size));
    }
}

// The blending window along one side: sin^2 over the box, so boxes half a box apart add up
// to exactly 1 and a uniform area shows no step where one box gives way to the next.
std::vector<float> Window(int size) {
    std::vector<float> w(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) {
        const float s = std::sin(kPi * (float(i) + 0.5f) / float(size));
        w[std::size_t(i)] = s * s;
    }
    return w;
}

// What turns the global stack into the points' scale: the ratio of their sums where the points
// cover the picture fully. The grey stack weighs frames by quality (the points take a plain
// mean), and the frames chosen differ a little in brightness (thin cloud).
float GlobalScale(const AppContext& c, const AlignmentPointState& ap) {
    const Workspace& ws = c.ws;
    const int channels = Channels(c.form);
    double points = 0, global = 0;
    for (int k = 0; k < channels; ++k) {
        const Single2dArray& stack = ws.StackSum[PlaneOf(c.form, k)];
        const Single2dArray& sums = ap.PointSums[std::size_t(k)];
        for (int y = 0; y < ap.PointWeights.Height(); ++y) {
            const float* wt = ap.PointWeights.Row(y);
            const float *s = sums.Row(y), *g = stack.Row(y);
            for (int x = 0; x < ap.PointWeights.Width(); ++x)
                if (wt[x] >= 1.0f) {
                    points += s[x] / wt[x];
                    global += g[x];
                }
        }
    }
    return global > 0 && points > 0 ? float(points / global) : 1.0f;
}

}  // namespace

namespace {

// The frames some point chose (in file order) with their slots among the measured frames.
void ChosenFrames(const AlignmentPointState& ap, std::vector<int>& frames, std::vector<std::size_t>& slots) {
    for (std::size_t slot = 0; slot < ap.Frames.size(); ++slot)
        for (std::size_t i = 0; i < ap.Points.size(); ++i)
            if (ap.Measure(slot, i).Used) {
                frames.push_back(ap.Frames[slot]);
                slots.push_back(slot);
                break;
            }
}

// The points that chose the frame in slot `slot`.
void ChosenPoints(const AlignmentPointState& ap, std::size_t slot, std::vector<std::size_t>& chosen) {
    chosen.clear();
    for (std::size_t i = 0; i < ap.Points.size(); ++i)
        if (ap.Measure(slot, i).Used) chosen.push_back(i);
}

// Runs `boxes(first, last)` over the chosen boxes 0..count - 1, or `rows(top, bottom)` over rows.
using Split = std::function<void(int first, int last, const std::function<void(int, int)>& part, int least)>;

// The chosen boxes of the frame (slot `slot`) read from its channel `planes` at their shifts.
void SampleChosenBoxes(const AppContext& c, const AlignmentPointState& ap, std::size_t slot,
                       const std::vector<std::size_t>& chosen, const std::array<Single2dArray, 4>& planes,
                       LargeFloats& patches, const Split& split) {
    const int size = ap.Size, channels = Channels(c.form);
    const std::size_t boxLen = std::size_t(size) * std::size_t(size);
    // Only ever grown: a frame with fewer boxes than the last leaves the rest unused.
    const std::size_t need = chosen.size() * std::size_t(channels) * boxLen;
    if (patches.size() < need) patches.resize(need);
    split(0, int(chosen.size()) - 1, [&](int first, int last) {
        for (int n = first; n <= last; ++n) {
            const std::size_t i = chosen[std::size_t(n)];
            const AlignmentPoint& p = ap.Points[i];
            const PointMeasure& m = ap.Measure(slot, i);
            for (int k = 0; k < channels; ++k)
                SampleBox(planes[PlaneOf(c.form, k)], p.X - size / 2, p.Y - size / 2, size, m.Dx, m.Dy,
                          patches.data() + (std::size_t(n) * std::size_t(channels) + std::size_t(k)) * boxLen);
        }
    }, 4);
}

// The sampled boxes added with the window into the points' sums, every pixel taking the boxes in
// the same order however the rows are split.
void AddChosenBoxes(const AppContext& c, AlignmentPointState& ap, const std::vector<std::size_t>& chosen,
                    const LargeFloats& patches, const std::vector<float>& window, const Split& split) {
    const int size = ap.Size, channels = Channels(c.form);
    const std::size_t boxLen = std::size_t(size) * std::size_t(size);
    split(0, ap.PointWeights.Height() - 1, [&](int top, int bottom) {
        for (std::size_t n = 0; n < chosen.size(); ++n) {
            const std::size_t i = chosen[n];
            const AlignmentPoint& p = ap.Points[i];
            const float share = 1.0f / float(std::max(ap.KeptPerPoint[i], 1));
            const int x0 = p.X - size / 2, y0 = p.Y - size / 2;
            for (int y = std::max(y0, top); y <= std::min(y0 + size - 1, bottom); ++y) {
                const int j2 = y - y0;
                const float wy = window[std::size_t(j2)] * share;
                float* weights = ap.PointWeights.Row(y) + x0;
                for (int x = 0; x < size; ++x) weights[x] += wy * window[std::size_t(x)];
                for (int k = 0; k < channels; ++k) {
                    const float* v = patches.data() + (n * std::size_t(channels) + std::size_t(k)) * boxLen +
                                     std::size_t(j2) * std::size_t(size);
                    float* sum = ap.PointSums[std::size_t(k)].Row(y) + x0;
                    for (int x = 0; x < size; ++x) sum[x] += wy * window[std::size_t(x)] * v[x];
                }
            }
        }
    }, 64);
}

// The frames' sampled boxes added in the order the frames were read, by whichever lane finds
// the next frame's boxes ready: a lane that sampled a frame early leaves its boxes and goes on
// to another frame instead of waiting for its turn. The calling thread hands each frame its set
// of boxes in the frames' order, so the frame whose turn it is always has one.
class OrderedAdds {
public:
    using Add = std::function<void(const SampledBoxes&)>;
    OrderedAdds(std::vector<SampledBoxes>& sets, Add add) : add_(std::move(add)) {
        for (SampledBoxes& set : sets) free_.push_back(&set);
    }
    // A set no frame holds, once one is free.
    SampledBoxes& Take() {
        std::unique_lock<std::mutex> lock(mutex_);
        freed_.wait(lock, [&] { return !free_.empty(); });
        SampledBoxes* set = free_.back();
        free_.pop_back();
        return *set;
    }
    // The boxes of frame `ticket` are ready in `set` (null: the frame adds none here; `drop`: the
    // set goes back unadded). Adds every frame whose turn has come, unless another lane is adding
    // already: that one adds these too.
    void Ready(std::size_t ticket, SampledBoxes* set, bool drop = false) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (set && drop) {
            free_.push_back(set);
            freed_.notify_all();
            set = nullptr;
        }
        ready_.emplace(ticket, set);
        if (adding_) return;
        adding_ = true;
        for (auto next = ready_.find(next_); next != ready_.end(); next = ready_.find(next_)) {
            SampledBoxes* boxes = next->second;
            ready_.erase(next);
            if (boxes) {
                lock.unlock();
                try {
                    add_(*boxes);
                } catch (...) {
                    // The stack is dropped (the lane's error ends the pass), but a frame waiting
                    // for a set must still get one and later turns must still pass.
                    lock.lock();
                    free_.push_back(boxes);
                    ++next_;
                    adding_ = false;
                    freed_.notify_all();
                    throw;
                }
                lock.lock();
                free_.push_back(boxes);
                freed_.notify_all();
            }
            ++next_;
        }
        adding_ = false;
    }

private:
    Add add_;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<SampledBoxes*> free_;
    std::map<std::size_t, SampledBoxes*> ready_;
    std::size_t next_ = 0;
    bool adding_ = false;
};

// A grey frame's one plane holds its luminance, the values the lane measured it in: while a
// grey stack adds, each lane's luminance plane serves as that plane and is handed back after.
// The lane's memory is then already in hand; a second plane the size of the stack was a fresh
// 8 MB at 1920 x 1080, per lane.
class LumaAsGreyPlane {
public:
    LumaAsGreyPlane(std::vector<PointLane>& lanes, bool grey) : lanes_(grey ? &lanes : nullptr) { SwapAll(); }
    ~LumaAsGreyPlane() { SwapAll(); }
    LumaAsGreyPlane(const LumaAsGreyPlane&) = delete;
    LumaAsGreyPlane& operator=(const LumaAsGreyPlane&) = delete;

private:
    void SwapAll() {
        if (lanes_)
            for (PointLane& l : *lanes_) std::swap(l.Luma, l.Planes[1]);
    }
    std::vector<PointLane>* lanes_;
};

// Room for the most boxes a frame has, made once: growing frame by frame moved and cleared it
// again and again. A set a lane has not used yet stays unwritten.
void SizeSampledSets(const AppContext& c, AlignmentPointState& ap, const std::vector<std::size_t>& slots, std::size_t sets) {
    std::size_t mostBoxes = 0;
    for (const std::size_t slot : slots) {
        std::size_t boxes = 0;
        for (std::size_t i = 0; i < ap.Points.size(); ++i) boxes += ap.Measure(slot, i).Used;
        mostBoxes = std::max(mostBoxes, boxes);
    }
    ap.Sampled.resize(sets);
    for (SampledBoxes& set : ap.Sampled)
        set.Patches.resize(mostBoxes * std::size_t(Channels(c.form)) * std::size_t(ap.Size) * std::size_t(ap.Size));
}

// Plain 8-bit frames: each placed and its boxes sampled on a lane of its own while the next is
// read, then added in its turn. A frame that is not plain after all is placed in the points'
// planes and added there, in its turn, once the lanes are idle.
bool AccumulateInLanes(AppContext& c, StackerState& st, AlignmentPointState& ap, const PointMatching& matching,
                       const std::vector<int>& frames, const std::vector<std::size_t>& slots,
                       const std::vector<float>& window, const std::function<void(std::size_t)>& addInPlanes) {
    // What the jobs use is made before the lanes (see MeasureInLanes).
    std::vector<PointLane>& lane = ap.Lanes;
    lane.resize(std::size_t(FrameLanes::Count()));
    LumaAsGreyPlane greyPlanes(lane, !c.form.ColourStack.Checked);
    SizeSampledSets(c, ap, slots, lane.size() + 2);
    const Split inOrder = [](int first, int last, const std::function<void(int, int)>& part, int) {
        if (last >= first) part(first, last);
    };
    OrderedAdds adds(ap.Sampled, [&](const SampledBoxes& set) { AddChosenBoxes(c, ap, set.Chosen, set.Patches, window, inOrder); });
    FrameLanes lanes;
    int lastLane = -1;
    std::size_t tickets = 0;
    // The last frame read is in hand afterwards.
    const auto handBack = [&] {
        lanes.Finish();
        if (lastLane >= 0) std::swap(lane[std::size_t(lastLane)].Picture, c.ws.CurrentFrameImage);
        lastLane = -1;
    };
    const bool done = VisitFramesInOrder(c, frames, "Stacking at alignment points", "Alignment points: stacking frame",
                                         [&](std::size_t j) {
        const std::size_t ticket = tickets++;
        if (!PlainRun(c)) {
            c.ws.NeedWholeFrame();
            lanes.Finish();  // every frame before this one added
            PlaceFrameAtWholeShift(c, st, ap, !ap.ShiftsOfEveryFrame);
            addInPlanes(j);
            adds.Ready(ticket, nullptr);
            return;
        }
        const int n = lanes.Acquire();
        PointLane& l = lane[std::size_t(n)];
        SampledBoxes& set = adds.Take();
        std::swap(l.Picture, c.ws.CurrentFrameImage);
        lastLane = n;
        lanes.Start(n, [&c, &ap, &matching, &l, &set, &adds, &frames, &slots, &inOrder, j, ticket] {
            // The frame's turn passes however the job ends, so no later frame waits for ever (a
            // job that failed drops the stack).
            struct TurnOnFailure {
                OrderedAdds& adds;
                std::size_t ticket;
                SampledBoxes& set;
                bool sampled = false;
                ~TurnOnFailure() {
                    if (sampled) return;
                    try {
                        adds.Ready(ticket, &set, true);
                    } catch (...) {
                        // Adding a later frame failed too: the first error is the one reported.
                    }
                }
            };
            TurnOnFailure failure{adds, ticket, set};
            ChosenPoints(ap, slots[j], set.Chosen);
            PlaceLanePlanes(c, ap, l, frames[j]);
            if (!ap.ShiftsOfEveryFrame) {
                // A grey frame's plane is its luminance.
                const bool colour = c.form.ColourStack.Checked;
                if (colour) PlaceLaneLuma(c, ap, l, frames[j]);
                MatchChosenPoints(c, ap, matching, LaneFrame(ap, l, colour ? l.Luma : l.Planes[1], slots[j], true),
                                  set.Chosen);
            }
            SampleChosenBoxes(c, ap, slots[j], set.Chosen, l.Planes, set.Patches, inOrder);
            failure.sampled = true;
            adds.Ready(ticket, &set);
        });
    }, [&c, &ap](int64_t frame) { return LaneRows(c, ap, frame); }, handBack);
    handBack();
    return done;
}

}  // namespace

// Pass 2: the frames some point chose, each chosen box added at its own shift with the window,
// weighed so every point's frames together weigh as one.
bool AccumulatePoints(AppContext& c, StackerState& st, AlignmentPointState& ap, const PointMatching& matching) {
    std::vector<int> frames;
    std::vector<std::size_t> slots;
    ChosenFrames(ap, frames, slots);
    const std::vector<float> window = Window(ap.Size);
    const Split workers = [&ap](int first, int last, const std::function<void(int, int)>& part, int least) {
        WorkersOf(ap).Run(first, last, part, least);
    };
    std::vector<std::size_t> chosen;
    std::vector<float> xs, ys;
    // The frame placed in the points' planes: its chosen boxes matched and sampled, each on its own
    // (in parallel), then added by bands of rows.
    const auto addInPlanes = [&](std::size_t j) {
        ChosenPoints(ap, slots[j], chosen);
        if (!ap.ShiftsOfEveryFrame) MatchChosenPoints(c, ap, matching, PlanesFrame(c, ap, slots[j], true, xs, ys), chosen);
        SampleChosenBoxes(c, ap, slots[j], chosen, ap.FramePlanes, ap.Patches, workers);
        AddChosenBoxes(c, ap, chosen, ap.Patches, window, workers);
    };
    if (PlainRun(c) && !ap.OneFrameAtATime)
        return AccumulateInLanes(c, st, ap, matching, frames, slots, window, addInPlanes);
    return ReadFramesInOrder(c, st, ap, frames, "Stacking at alignment points", "Alignment points: stacking frame",
                             !ap.ShiftsOfEveryFrame, addInPlanes);
}

// The stacker's planes become the points' stack where the points' windows cover the picture
// fully, the global stack where no point reaches, and the mix of the two between.
void BlendPointsIntoStack(AppContext& c, AlignmentPointState& ap) {
    Workspace& ws = c.ws;
    const int channels = Channels(c.form);
    const float globalScale = GlobalScale(c, ap);
    const int w = ap.PointWeights.Width(), h = ap.PointWeights.Height();
    for (int k = 0; k < channels; ++k) {
        Single2dArray& stack = ws.StackSum[PlaneOf(c.form, k)];
        const Single2dArray& sums = ap.PointSums[std::size_t(k)];
        // Each pixel on its own: the rows are shared out over the cores.
        WorkersOf(ap).Run(0, h - 1, [&](int top, int bottom) {
            for (int y = top; y <= bottom; ++y) {
                float* out = stack.Row(y);
                const float* s = sums.Row(y);
                const float* wt = ap.PointWeights.Row(y);
                for (int x = 0; x < w; ++x) {
                    const float g = out[x] * globalScale;
                    out[x] = wt[x] >= 1.0f ? s[x] / wt[x] : s[x] + (1.0f - wt[x]) * g;
                }
            }
        }, 32);
    }
}

}  // namespace talvenor
