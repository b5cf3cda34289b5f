// The alignment points' first pass: every frame measured at every point (local shift and
// quality), shifts that failed taken from the neighbours, and each point's sharpest frames.
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

}  // namespace

namespace {

// Runs `points(first, last)` over the points 0..count - 1.
using PointRunner = std::function<void(int count, const std::function<void(int, int)>& points)>;

// One frame (in slot `slot`) at every point it covers: the local shift and quality, then a second
// look around the frame's consensus for the points that found nothing.
void MeasureFrame(const AppContext& c, AlignmentPointState& ap, const MatchPlanes& ref, std::size_t slot,
                  const MatchPlanes& frame, const std::function<bool(const AlignmentPoint&, int, int)>& covers,
                  const PointRunner& run, std::vector<float>& xs, std::vector<float>& ys) {
    const std::size_t points = ap.Points.size();
    const int size = ap.Size, search = int(c.form.APSearch.Value);
    const int width = c.ws.ImageWidth, height = c.ws.ImageHeight;
    auto measure = [&](int cx, int cy, bool retry) {
        const int reach = search + std::max(std::abs(cx), std::abs(cy));
        run(int(points), [&](int first, int last) {
            for (int i = first; i <= last; ++i) {
                const AlignmentPoint& p = ap.Points[std::size_t(i)];
                PointMeasure& m = ap.Measure(slot, std::size_t(i));
                if (retry && !(m.Quality >= 0 && m.Failed)) continue;
                if (!covers(p, size, reach) || !PointFits(p.X, p.Y, size, reach, width, height)) continue;
                const int x0 = p.X - size / 2, y0 = p.Y - size / 2;
                const LocalMatch match = MatchPatch(ref, frame, x0, y0, size, search, cx, cy);
                if (retry && !match.Ok) continue;
                m.Dx = match.Dx;
                m.Dy = match.Dy;
                m.Failed = !match.Ok;
                if (!retry) m.Quality = LocalQuality(frame.Full, x0, y0, size);
            }
        });
    };
    measure(0, 0, false);
    const auto [cx, cy] = FrameConsensus(ap, slot, search, xs, ys);
    if (cx != 0 || cy != 0) measure(cx, cy, true);
}

// Plain 8-bit frames: each measured whole on a lane of its own while the next is read. A frame
// that is not plain after all takes the planes and the workers, as every frame otherwise does.
bool MeasureInLanes(AppContext& c, StackerState& st, AlignmentPointState& ap, const std::vector<int>& frames,
                    const MatchPlanes& ref, const std::function<void(std::size_t)>& measureInPlanes) {
    // What the jobs use is made before the lanes, so a read that throws leaves it in place until
    // the lanes' end has waited for the jobs still running.
    std::vector<PointLane> lane(std::size_t(FrameLanes::Count()));
    const PointRunner inOrder = [](int count, const std::function<void(int, int)>& points) { points(0, count - 1); };
    FrameLanes lanes;
    int lastLane = -1;
    const bool done = VisitFramesInOrder(c, frames, "Measuring alignment points", "Alignment points: measuring frame",
                                         [&](std::size_t slot) {
        if (!PlainRun(c)) {
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
        lanes.Start(n, [&c, &ap, &ref, &l, &inOrder, slot, frame] {
            PlaceLaneLuma(c, ap, l, frame);
            MatchPlanes planes{ViewOf(l.Luma), {}};
            const PointRegion& r = ap.Region;
            HalveLuma(planes.Full, l.Half, planes.Half, r.Left, r.Top, r.Right, r.Bottom);
            MeasureFrame(c, ap, ref, slot, planes,
                         [&](const AlignmentPoint& p, int size, int reach) {
                             return FrameCoversPlain(ap.Region, l.Cover, p, size, reach);
                         },
                         inOrder, l.Xs, l.Ys);
        });
    });
    lanes.Finish();
    // The frame last read is in hand afterwards, as when the frames are measured one by one.
    if (lastLane >= 0) std::swap(lane[std::size_t(lastLane)].Picture, c.ws.CurrentFrameImage);
    return done;
}

}  // namespace

// Pass 1: every candidate frame at every point it covers: the local shift and quality.
bool MeasurePoints(AppContext& c, StackerState& st, AlignmentPointState& ap, const std::vector<int>& frames) {
    ap.Frames = frames;
    ap.Measures.assign(frames.size() * ap.Points.size(), PointMeasure{0, 0, -1, 0, 0});
    MatchPlanes ref{ReferenceView(ap), {}};
    HalveLuma(ref.Full, ap.ReferenceHalf, ref.Half);
    std::vector<float> xs, ys;
    const PointRunner workers = [&ap](int count, const std::function<void(int, int)>& points) {
        WorkersOf(ap).Run(0, count - 1, points, 8);
    };
    // The frame placed in the points' planes, its points split over the workers.
    const auto measureInPlanes = [&](std::size_t slot) {
        MatchPlanes frame{FrameLumaView(c, ap), {}};
        HalveLuma(frame.Full, ap.FrameHalf, frame.Half, ap.Region.Left, ap.Region.Top, ap.Region.Right, ap.Region.Bottom);
        MeasureFrame(c, ap, ref, slot, frame,
                     [&](const AlignmentPoint& p, int size, int reach) { return FrameCovers(ap, p, size, reach); },
                     workers, xs, ys);
    };
    if (PlainRun(c) && !ap.OneFrameAtATime) return MeasureInLanes(c, st, ap, frames, ref, measureInPlanes);
    return ReadFramesInOrder(c, st, ap, frames, "Measuring alignment points", "Alignment points: measuring frame", true,
                             measureInPlanes);
}

// A shift that could not be measured is the mean of its neighbours' in the same frame (the
// points within one and a half boxes), else the frame's global shift.
void FillFailedShifts(AlignmentPointState& ap) {
    const std::size_t points = ap.Points.size();
    const double reach = 1.5 * ap.Size;
    // Each point's neighbours, found once rather than for every frame.
    std::vector<std::vector<std::size_t>> near(points);
    for (std::size_t i = 0; i < points; ++i)
        for (std::size_t j = 0; j < points; ++j) {
            const double dx = ap.Points[j].X - ap.Points[i].X, dy = ap.Points[j].Y - ap.Points[i].Y;
            if (j != i && dx * dx + dy * dy <= reach * reach) near[i].push_back(j);
        }
    ap.FailedShifts = 0;
    for (std::size_t slot = 0; slot < ap.Frames.size(); ++slot)
        for (std::size_t i = 0; i < points; ++i) {
            PointMeasure& m = ap.Measure(slot, i);
            if (m.Quality < 0 || !m.Failed) continue;
            ++ap.FailedShifts;
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
