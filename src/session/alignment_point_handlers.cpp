#include "session/alignment_point_handlers.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "stacking/alignment_point_stack.h"

namespace talvenor {

namespace {

// The stack's own size (the planes are larger).
bool HaveStack(const Session& s) { return s.ws.StackReady && s.ws.StackSum[1].Allocated(); }

// The box side new points take: the points' own, else the page's, else the automatic one.
int BoxSideForClick(Session& s) {
    if (s.points.Size > 0) return s.points.Size;
    const AlignmentPointSettings settings = PointSettingsFrom(s.form);
    if (settings.Size > 0) return std::max(8, settings.Size);
    MakeReferenceLuma(s.ctx, s.points);
    LumaView ref = ReferenceView(s.points);
    ref.Width = std::min(ref.Width, s.ws.ImageWidth);
    ref.Height = std::min(ref.Height, s.ws.ImageHeight);
    return AutomaticPointSize(ref, settings.MinBrightness);
}

}  // namespace

void ShowAlignmentPoints(Session& s) {
    Picture& picture = s.form.Stackimage;
    picture.Boxes.clear();
    const int size = s.points.Size;
    for (const AlignmentPoint& p : s.points.Points) picture.Boxes.push_back({p.X - size / 2, p.Y - size / 2, size});
    std::string text;
    if (s.points.Points.empty()) text = s.points.PlacedByUser ? "Points: none (click the stack to add)" : "Points: automatic";
    else text = "Points: " + std::to_string(s.points.Points.size()) + " of " + std::to_string(size) + " px";
    if (s.points.LastStackUsedPoints)
        text += ", " + std::to_string(s.points.FailedShifts) + " shifts from neighbours";
    s.form.APCountLabel.Caption = text;
    s.host.Repaint(&picture);
}

void APPlaceButtonClick(Session& s) {
    if (!HaveStack(s)) {
        s.host.Message(MsgKind::Information, "Stack first: the points are placed on the stack.", Buttons::Ok);
        return;
    }
    MakeReferenceLuma(s.ctx, s.points);
    PlacePointsAutomatically(s.ctx, s.points);
    // Placed on request, they are the user's for the next stack.
    s.points.PlacedByUser = true;
    s.points.LastStackUsedPoints = false;
    if (s.points.Points.empty())
        s.host.Message(MsgKind::Warning, "No alignment points: no part of the stack is bright and detailed enough.",
                       Buttons::Ok);
    ShowAlignmentPoints(s);
}

void APClearButtonClick(Session& s) {
    s.points.Points.clear();
    s.points.PlacedByUser = true;
    s.points.LastStackUsedPoints = false;
    ShowAlignmentPoints(s);
}

void StackimageMouseDown(Session& s, const EventArgs& e) {
    if (!s.form.APEditMode.Checked || e.Button != MouseButton::Left || !HaveStack(s)) return;
    AlignmentPointState& ap = s.points;
    const int size = BoxSideForClick(s);
    if (ap.Points.empty() || ap.Size != size) ap.Size = size;
    for (std::size_t i = 0; i < ap.Points.size(); ++i) {
        const AlignmentPoint& p = ap.Points[i];
        if (std::abs(e.X - p.X) <= size / 2 && std::abs(e.Y - p.Y) <= size / 2) {
            // The nearest of the boxes holding the click goes.
            std::size_t nearest = i;
            long best = long(e.X - p.X) * (e.X - p.X) + long(e.Y - p.Y) * (e.Y - p.Y);
            for (std::size_t j = i + 1; j < ap.Points.size(); ++j) {
                const AlignmentPoint& q = ap.Points[j];
                const long d = long(e.X - q.X) * (e.X - q.X) + long(e.Y - q.Y) * (e.Y - q.Y);
                if (std::abs(e.X - q.X) <= size / 2 && std::abs(e.Y - q.Y) <= size / 2 && d < best) {
                    best = d;
                    nearest = j;
                }
            }
            ap.Points.erase(ap.Points.begin() + std::ptrdiff_t(nearest));
            ap.PlacedByUser = true;
            ap.LastStackUsedPoints = false;  // the stack's counts no longer describe these points
            ShowAlignmentPoints(s);
            return;
        }
    }
    if (!PointFits(e.X, e.Y, size, PointSettingsFrom(s.form).Search, s.ws.ImageWidth, s.ws.ImageHeight)) {
        s.host.Message(MsgKind::Warning, "An alignment point must lie a box's half and its search inside the stack.",
                       Buttons::Ok);
        return;
    }
    ap.Points.push_back({e.X, e.Y});
    ap.PlacedByUser = true;
    ap.LastStackUsedPoints = false;
    ShowAlignmentPoints(s);
}

void RegisterAlignmentPointHandlers(Session& s) {
    Handlers& h = s.handlers;
    h.On("APPlaceButton", Event::Click, [&s] { APPlaceButtonClick(s); });
    h.On("APClearButton", Event::Click, [&s] { APClearButtonClick(s); });
    h.On("Stackimage", Event::MouseDown, Handlers::Fn([&s](const EventArgs& e) { StackimageMouseDown(s, e); }));
    // A new box size resizes the points in hand about their centres (those that no longer fit
    // go); 0 leaves the size to the next automatic placement.
    h.On("APSize", Event::Change, [&s] {
        const AlignmentPointSettings settings = PointSettingsFrom(s.form);
        AlignmentPointState& ap = s.points;
        if (settings.Size <= 0 || ap.Points.empty()) return;
        ap.Size = std::max(8, settings.Size);
        std::erase_if(ap.Points, [&](const AlignmentPoint& p) {
            return !PointFits(p.X, p.Y, ap.Size, settings.Search, s.ws.ImageWidth, s.ws.ImageHeight);
        });
        ShowAlignmentPoints(s);
    });
}

}  // namespace talvenor
