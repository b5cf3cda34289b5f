#include "stacking/alignment_point_stack.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "stacking/alignment_point_passes.h"
#include "workspace/error.h"

namespace talvenor {


AlignmentPointSettings PointSettingsFrom(const Controls& f) {
    AlignmentPointSettings s;
    s.Size = int(std::lrint(f.APSize.Value)) / 2 * 2;
    s.MinBrightness = f.APMinBrightness.Value * 0.01;
    s.MinStructure = f.APMinStructure.Value * 0.01;
    s.Search = std::max(1, int(std::lrint(f.APSearch.Value)));
    return s;
}

std::string PointsRefusal(const AppContext& c) {
    const Controls& f = c.form;
    if (f.Drizzling.Checked || f.Drizzle2.Checked) return "alignment points do not work with drizzle";
    if (f.Resampled.Checked) return "alignment points do not work with a resampled stack";
    if (f.Expandstack.Checked) return "alignment points do not work with \"Expand image\"";
    if (f.Interlaced.Checked) return "alignment points do not work with de-interlacing";
    if (c.ws.IsImageSeries && c.ws.IsFits && f.ColourStack.Checked && !c.ws.FrameIsWide)
        return "alignment points do not work with colour FITS channel files";
    return {};
}

int FramesPerPoint(const Controls& f, int candidates, int globalCount) {
    const int value = int(std::lrint(f.APKeep.Value));
    int keep = globalCount;
    if (value > 0) keep = f.APKeepPercent.Checked ? int(std::lrint(std::min(value, 100) * 0.01 * candidates)) : value;
    return std::clamp(keep, 1, std::max(candidates, 1));
}

void MakeReferenceLuma(AppContext& c, AlignmentPointState& ap) {
    const Workspace& ws = c.ws;
    Ensure(ap.ReferenceLuma, ws.StackSum[1].Width(), ws.StackSum[1].Height());
    LumaOf(c, ws.StackSum, ap.ReferenceLuma, WholePlane(ap.ReferenceLuma));
}

LumaView ReferenceView(const AlignmentPointState& ap) { return ViewOf(ap.ReferenceLuma); }

void PlacePointsAutomatically(AppContext& c, AlignmentPointState& ap) {
    const AlignmentPointSettings settings = PointSettingsFrom(c.form);
    // Only the stack's own area: its planes are larger than the stack.
    LumaView ref = ReferenceView(ap);
    ref.Width = std::min(ref.Width, c.ws.ImageWidth);
    ref.Height = std::min(ref.Height, c.ws.ImageHeight);
    ap.Size = settings.Size > 0 ? std::max(8, settings.Size) : AutomaticPointSize(ref, settings.MinBrightness);
    ap.Points = PlaceAlignmentPoints(ref, ap.Size, settings);
    ap.PlacedByUser = false;
}

bool StackAlignmentPoints(AppContext& c, StackerState& st, AlignmentPointState& ap, int globalCount) {
    ap.LastStackUsedPoints = false;
    ap.FailedShifts = 0;
    MakeReferenceLuma(c, ap);
    if (!ap.PlacedByUser || ap.Points.empty()) PlacePointsAutomatically(c, ap);
    // Boxes need an even side to sit half a box apart (a project may hold any number).
    ap.Size = std::clamp(ap.Size / 2 * 2, 8, kMaxBoxSide);
    if (ap.Points.empty()) {
        c.host.Message(MsgKind::Warning,
                       "No alignment points: no part of the stack is bright and detailed enough. The global stack is kept.",
                       Buttons::Ok);
        return false;
    }
    const std::vector<int> ranked = RankedCandidates(c);
    const int keep = FramesPerPoint(c.form, int(ranked.size()), globalCount);
    const std::vector<int> frames = MeasuredFrames(ranked, keep);
    PrepareScratch(c, ap);
    // The passes read frames as the stack pass does; whatever happens, the flag is put back.
    struct PassFlag {
        bool& flag;
        const bool was;
        ~PassFlag() { flag = was; }
    } pass{c.ws.StackPassActive, c.ws.StackPassActive};
    c.ws.StackPassActive = true;
    bool done = false;
    try {
        const PointMatching matching = MakePointMatching(ap);
        done = MeasurePoints(c, st, ap, matching, frames);
        if (done) {
            SelectFramesPerPoint(ap, keep);
            done = AccumulatePoints(c, st, ap, matching);
            ap.FailedShifts = StackedShiftsFromNeighbours(ap);
        }
    } catch (const Error& e) {
        // A frame that cannot be read now (a file removed or damaged since the alignment) ends
        // the points' passes; the global stack, complete and untouched until the blend, stays.
        c.host.Message(MsgKind::Warning, std::string("Alignment points stopped: ") + e.what() + ". The global stack is kept.",
                       Buttons::Ok);
        return false;
    }
    if (!done) return false;
    BlendPointsIntoStack(c, ap);
    ap.LastStackUsedPoints = true;
    return true;
}

void WriteAlignmentPointCsv(const AppContext& c, const AlignmentPointState& ap, SafeFileWriter& out) {
    out.Write("frame,x,y,dx,dy,quality,used,failed\n");
    char line[160];
    for (std::size_t slot = 0; slot < ap.Frames.size(); ++slot) {
        const int frame = ap.Frames[slot];
        const FrameShift g = GlobalShift(c.ws.Frames[std::size_t(frame)]);
        const double wx = std::lrint(g.X), wy = std::lrint(g.Y);
        for (std::size_t i = 0; i < ap.Points.size(); ++i) {
            const PointMeasure& m = ap.Measure(slot, i);
            if (m.Quality < 0) continue;
            const int n = std::snprintf(line, sizeof line, "%d,%d,%d,%.3f,%.3f,%.6g,%d,%d\n", frame, ap.Points[i].X,
                                        ap.Points[i].Y, wx + m.Dx - g.X, wy + m.Dy - g.Y, double(m.Quality), int(m.Used),
                                        int(m.Failed));
            out.Write(std::string_view(line, std::size_t(std::max(n, 0))));
        }
    }
}

}  // namespace talvenor
