// The alignment points' first pass: every frame's quality at every point and each point's
// sharpest frames; and the local shifts, found where a point stacks the frame (or everywhere,
// when every frame's shifts are wanted), failed ones taken from the neighbours.
#include <algorithm>
#include <cmath>

#include "stacking/alignment_point_passes.h"
#include "stacking/alignment_point_stack.h"
#include "stacking/local_shift.h"
#include "workspace/frame_lanes.h"
#include "workspace/parallel_rows.h"

namespace talvenor {

// The frames a point may choose from, best first: those of the ranking that are not switched
// off and pass the difference cut.
std::vector<int> RankedCandidates(const AppContext& c) {
    std::vector<int> frames;
    std::vector<bool> seen(kMaxFrames, false);
    for (int k : RanksPassingCuts(c, c.form.StackSlider.MaxValue)) {
        const int frame = c.ws.Ranking[std::size_t(k)].FrameIndex;
        if (!seen[std::size_t(frame)]) frames.push_back(frame);
        seen[std::size_t(frame)] = true;
    }
    return frames;
}

// The frames measured: the better half of the candidates (at least four times what a point
// keeps), in file order. A frame the whole picture ranks lower is almost never among a
// point's sharpest: on patchy seeing, measuring every frame gained 0.01 dB for half again the
// time.
std::vector<int> MeasuredFrames(std::vector<int> ranked, int keep) {
    const std::size_t pool = std::max(std::size_t(4) * std::size_t(keep), (ranked.size() + 1) / 2);
    if (ranked.size() > pool) ranked.resize(pool);
    std::sort(ranked.begin(), ranked.end());
    return ranked;
}

namespace {

// The shift most points of the frame agree on (the median of the measured ones, whole pixels):
// where the frame's global shift followed a part of the object that bent, the whole object
// sits elsewhere, and points that found nothing within their search look again around it.
std::pair<int, int> FrameConsensus(const AlignmentPointState& ap, std::size_t slot, int search, std::vector<float>& xs,
                                   std::vector<float>& ys) {
    xs.clear();
    ys.clear();
    for (std::size_t i = 0; i < ap.Points.size(); ++i) {
        const PointMeasure& m = ap.Measure(slot, i);
        if (m.Quality >= 0 && !m.Failed) {
            xs.push_back(m.Dx);
            ys.push_back(m.Dy);
        }
    }
    if (xs.size() < 3) return {0, 0};
    const auto mid = std::ptrdiff_t(xs.size() / 2);
    std::nth_element(xs.begin(), xs.begin() + mid, xs.end());
    std::nth_element(ys.begin(), ys.begin() + mid, ys.end());
    // Within the search, so the second look stays inside what the frame planes hold.
    return {std::clamp(int(std::lrint(xs[std::size_t(mid)])), -search, search),
            std::clamp(int(std::lrint(ys[std::size_t(mid)])), -search, search)};
}

// The first look at points (every one the frame covers, or those listed): each one's local shift
// around the frame's global shift, and its quality when `quality`. A second look (`retry`) goes
// around (cx, cy) and replaces only the shifts that failed, when it finds one.
void Look(const AppContext& c, AlignmentPointState& ap, const MatchPlanes& ref, const FrameAtPoints& frame, int cx,
          int cy, bool retry, bool quality, const std::vector<std::size_t>* only) {
    const int size = ap.Size, search = int(c.form.APSearch.Value);
    const int width = c.ws.ImageWidth, height = c.ws.ImageHeight;
    const int reach = search + std::max(std::abs(cx), std::abs(cy));
    const int count = int(only ? only->size() : ap.Points.size());
    frame.Run(count, [&](int first, int last) {
        for (int n = first; n <= last; ++n) {
            const std::size_t i = only ? (*only)[std::size_t(n)] : std::size_t(n);
            const AlignmentPoint& p = ap.Points[i];
            PointMeasure& m = ap.Measure(frame.Slot, i);
            if (retry && !(m.Quality >= 0 && m.Failed)) continue;
            if (!frame.Covers(p, size, reach) || !PointFits(p.X, p.Y, size, reach, width, height)) continue;
            const int x0 = p.X - size / 2, y0 = p.Y - size / 2;
            const LocalMatch match = MatchPatch(ref, frame.Planes, x0, y0, size, search, cx, cy);
            if (retry && !match.Ok) continue;
            m.Dx = match.Dx;
            m.Dy = match.Dy;
            m.Failed = !match.Ok;
            if (quality) m.Quality = LocalQuality(frame.Planes.Full, x0, y0, size);
        }
    });
}

// Every point of the frame looked at, then a second look around the frame's consensus for the
// points that found nothing.
void LookEverywhere(const AppContext& c, AlignmentPointState& ap, const MatchPlanes& ref, const FrameAtPoints& frame,
                    bool quality) {
    Look(c, ap, ref, frame, 0, 0, false, quality, nullptr);
    const auto [cx, cy] = FrameConsensus(ap, frame.Slot, int(c.form.APSearch.Value), frame.Xs, frame.Ys);
    if (cx != 0 || cy != 0) Look(c, ap, ref, frame, cx, cy, true, false, nullptr);
}

// The quality alone at every point the frame covers: which frames a point stacks needs nothing
// more, and its shift is found only where it stacks the frame.
void QualityEverywhere(const AppContext& c, AlignmentPointState& ap, const FrameAtPoints& frame) {
    const int size = ap.Size, search = int(c.form.APSearch.Value);
    const int width = c.ws.ImageWidth, height = c.ws.ImageHeight;
    frame.Run(int(ap.Points.size()), [&](int first, int last) {
        for (int i = first; i <= last; ++i) {
            const AlignmentPoint& p = ap.Points[std::size_t(i)];
            if (!frame.Covers(p, size, search) || !PointFits(p.X, p.Y, size, search, width, height)) continue;
            ap.Measure(frame.Slot, std::size_t(i)).Quality =
                LocalQuality(frame.Planes.Full, p.X - size / 2, p.Y - size / 2, size);
        }
    });
}

// One frame (in slot frame.Slot) measured at every point it covers: the quality, and the local
// shifts too when every frame's shifts are wanted.
void MeasureFrame(const AppContext& c, AlignmentPointState& ap, const MatchPlanes& ref, const FrameAtPoints& frame) {
    if (ap.ShiftsOfEveryFrame) LookEverywhere(c, ap, ref, frame, true);
    else QualityEverywhere(c, ap, frame);
}

// Plain 8-bit frames: each measured whole on a lane of its own while the next is read. A frame
// that is not plain after all takes the planes and the workers, as every frame otherwise does.
bool MeasureInLanes(AppContext& c, StackerState& st, AlignmentPointState& ap, const std::vector<int>& frames,
                    const MatchPlanes& ref, const std::function<void(std::size_t)>& measureInPlanes) {
    // What the jobs use is made before the lanes, so a read that throws leaves it in place until
    // the lanes' end has waited for the jobs still running.
    std::vector<PointLane>& lane = ap.Lanes;
    lane.resize(std::size_t(FrameLanes::Count()));
    FrameLanes lanes;
    int lastLane = -1;
    // The last frame read is in hand afterwards, as when the frames are measured one by one.
    const auto handBack = [&] {
        lanes.Finish();
        if (lastLane >= 0) std::swap(lane[std::size_t(lastLane)].Picture, c.ws.CurrentFrameImage);
        lastLane = -1;
    };
    const bool done = VisitFramesInOrder(c, frames, "Measuring alignment points", "Alignment points: measuring frame",
                                         [&](std::size_t slot) {
        if (!PlainRun(c)) {
            c.ws.NeedWholeFrame();
            lanes.Finish();
            PlaceFrameAtWholeShift(c, st, ap, true);
            measureInPlanes(slot);
            return;
        }
        const int n = lanes.Acquire();
        PointLane& l = lane[std::size_t(n)];
        std::swap(l.Picture, c.ws.CurrentFrameImage);
        lastLane = n;
        const int frame = frames[slot];
        lanes.Start(n, [&c, &ap, &ref, &l, slot, frame] {
            PlaceLaneLuma(c, ap, l, frame);
            MeasureFrame(c, ap, ref, LaneFrame(ap, l, l.Luma, slot, ap.ShiftsOfEveryFrame));
        });
    }, [&c, &ap](int64_t frame) { return LaneRows(c, ap, frame); }, handBack);
    handBack();
    return done;
}

}  // namespace

FrameAtPoints LaneFrame(const AlignmentPointState& ap, PointLane& lane, const Single2dArray& luma, std::size_t slot,
                        bool half) {
    const PointRegion& r = ap.Region;
    FrameAtPoints frame{{ViewOf(luma), {}}, slot,
                        [&ap, &lane](const AlignmentPoint& p, int size, int reach) {
                            return FrameCoversPlain(ap.Region, lane.Cover, p, size, reach);
                        },
                        [](int count, const std::function<void(int, int)>& points) { points(0, count - 1); }, lane.Xs,
                        lane.Ys};
    if (half) HalveLuma(frame.Planes.Full, lane.Half, frame.Planes.Half, r.Left, r.Top, r.Right, r.Bottom);
    return frame;
}

FrameAtPoints PlanesFrame(const AppContext& c, AlignmentPointState& ap, std::size_t slot, bool half,
                          std::vector<float>& xs, std::vector<float>& ys) {
    const PointRegion& r = ap.Region;
    FrameAtPoints frame{{FrameLumaView(c, ap), {}}, slot,
                        [&ap](const AlignmentPoint& p, int size, int reach) { return FrameCovers(ap, p, size, reach); },
                        [&ap](int count, const std::function<void(int, int)>& points) {
                            WorkersOf(ap).Run(0, count - 1, points, 8);
                        },
                        xs, ys};
    if (half) HalveLuma(frame.Planes.Full, ap.FrameHalf, frame.Planes.Half, r.Left, r.Top, r.Right, r.Bottom);
    return frame;
}

PointMatching MakePointMatching(AlignmentPointState& ap) {
    PointMatching m;
    m.Reference.Full = ReferenceView(ap);
    HalveLuma(m.Reference.Full, ap.ReferenceHalf, m.Reference.Half);
    const std::size_t points = ap.Points.size();
    const double reach = 1.5 * ap.Size;
    m.Neighbours.resize(points);
    for (std::size_t i = 0; i < points; ++i)
        for (std::size_t j = 0; j < points; ++j) {
            const double dx = ap.Points[j].X - ap.Points[i].X, dy = ap.Points[j].Y - ap.Points[i].Y;
            if (j != i && dx * dx + dy * dy <= reach * reach) m.Neighbours[i].push_back(j);
        }
    return m;
}

// Pass 1: every measured frame at every point it covers.
bool MeasurePoints(AppContext& c, StackerState& st, AlignmentPointState& ap, const PointMatching& matching,
                   const std::vector<int>& frames) {
    ap.Frames = frames;
    ap.Measures.assign(frames.size() * ap.Points.size(), PointMeasure{0, 0, -1, 0, 0});
    std::vector<float> xs, ys;
    // The frame placed in the points' planes, its points split over the workers.
    const auto measureInPlanes = [&](std::size_t slot) {
        MeasureFrame(c, ap, matching.Reference, PlanesFrame(c, ap, slot, ap.ShiftsOfEveryFrame, xs, ys));
    };
    const bool done =
        PlainRun(c) && !ap.OneFrameAtATime
            ? MeasureInLanes(c, st, ap, frames, matching.Reference, measureInPlanes)
            : ReadFramesInOrder(c, st, ap, frames, "Measuring alignment points", "Alignment points: measuring frame",
                                true, measureInPlanes);
    if (done && ap.ShiftsOfEveryFrame)
        for (std::size_t slot = 0; slot < frames.size(); ++slot) FillFailedShifts(ap, slot, matching.Neighbours);
    return done;
}

void MatchChosenPoints(const AppContext& c, AlignmentPointState& ap, const PointMatching& matching,
                       const FrameAtPoints& frame, const std::vector<std::size_t>& chosen) {
    Look(c, ap, matching.Reference, frame, 0, 0, false, false, &chosen);
    if (std::none_of(chosen.begin(), chosen.end(), [&](std::size_t i) { return ap.Measure(frame.Slot, i).Failed; }))
        return;
    // The consensus a second look goes around is that of all the frame's points.
    LookEverywhere(c, ap, matching.Reference, frame, false);
    FillFailedShifts(ap, frame.Slot, matching.Neighbours);
}

// A shift that could not be measured is the mean of its neighbours' in the same frame, else the
// frame's global shift.
void FillFailedShifts(AlignmentPointState& ap, std::size_t slot, const std::vector<std::vector<std::size_t>>& near) {
    for (std::size_t i = 0; i < ap.Points.size(); ++i) {
        PointMeasure& m = ap.Measure(slot, i);
        if (m.Quality < 0 || !m.Failed) continue;
        double sx = 0, sy = 0;
        int n = 0;
        for (std::size_t j : near[i]) {
            const PointMeasure& o = ap.Measure(slot, j);
            if (o.Quality < 0 || o.Failed) continue;
            sx += o.Dx;
            sy += o.Dy;
            ++n;
        }
        m.Dx = n ? float(sx / n) : 0.0f;
        m.Dy = n ? float(sy / n) : 0.0f;
    }
}

int StackedShiftsFromNeighbours(const AlignmentPointState& ap) {
    return int(std::count_if(ap.Measures.begin(), ap.Measures.end(),
                             [](const PointMeasure& m) { return m.Used && m.Failed; }));
}

// Each point takes its `keep` sharpest frames.
void SelectFramesPerPoint(AlignmentPointState& ap, int keep) {
    const std::size_t points = ap.Points.size(), slots = ap.Frames.size();
    ap.KeptPerPoint.assign(points, 0);
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < points; ++i) {
        order.clear();
        for (std::size_t slot = 0; slot < slots; ++slot)
            if (ap.Measure(slot, i).Quality >= 0) order.push_back(slot);
        const std::size_t k = std::min(order.size(), std::size_t(std::max(keep, 1)));
        std::partial_sort(order.begin(), order.begin() + std::ptrdiff_t(k), order.end(), [&](std::size_t a, std::size_t b) {
            const float qa = ap.Measure(a, i).Quality, qb = ap.Measure(b, i).Quality;
            return qa != qb ? qa > qb : a < b;
        });
        for (std::size_t r = 0; r < k; ++r) ap.Measure(order[r], i).Used = 1;
        ap.KeptPerPoint[i] = int(k);
    }
}

}  // namespace talvenor
