#include "session/undoable_settings.h"

#include <algorithm>
#include <array>

#include "session/alignment_point_handlers.h"
#include "session/final_page.h"
#include "session/gamma_window.h"
#include "session/hsl_window.h"
#include "session/session.h"
#include "session/unsaved_work.h"
#include "session/wavelet_process.h"

namespace talvenor {

namespace {

using namespace std::string_view_literals;

// The containers whose settings are undoable: the two pages and their tool windows.
constexpr std::array kUndoableRoots = {"TabSheet4"sv, "TabSheet5"sv,   "FilterWindow"sv, "Denoisewindow"sv,
                                       "RGBShiftWindow"sv, "GammaWindow"sv, "HistoWindow"sv, "HLSWindow"sv};

// Switches that show a window or a mark, or keep an option for later, not a setting of the picture.
constexpr std::array kNotSettings = {"Histowin"sv,   "Gammawin"sv,         "Showdenoise"sv,          "Filtercheckbox"sv,
                                     "RGBSHIFT"sv,   "AdvancedHLS"sv,      "HoldWavelets"sv,         "HoldFinal"sv,
                                     "AutoProcessBox"sv, "ShowProcessingArea"sv, "PartialProcessControl"sv, "SaveSub"sv,
                                     "CheckBox2"sv,  "ActiveNoise"sv,      "Showpeak"sv,             "HistoSmooth"sv,
                                     "AutoSharpenAfterStack"sv};

// The controls whose actions make each pick; any other action leaves the pick as recorded
// (an alignment pass that tracks the feature or a stack that places points is no pick).
constexpr std::array kFeaturePickers = {"PreviewImage"sv};
constexpr std::array kCropPickers = {"RotateImage"sv};
constexpr std::array kPointPickers = {"Stackimage"sv, "APPlaceButton"sv, "APClearButton"sv};

template <std::size_t N>
bool Among(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool IsSettingKind(ControlKind k) {
    return k == ControlKind::CheckBox || k == ControlKind::SpinEdit || k == ControlKind::Slider ||
           k == ControlKind::RadioGroup || k == ControlKind::ComboBox;
}

std::string_view RootOf(const ControlRegistry& form, const Control& c) {
    const Control* at = &c;
    for (int hops = 0; hops < 8 && at; ++hops) {
        if (Among(kUndoableRoots, at->Parent)) return at->Parent;
        at = form.Find(at->Parent);
    }
    return {};
}

double ValueOf(const Control& c) {
    switch (c.Kind) {
        case ControlKind::CheckBox: return static_cast<const CheckBox&>(c).Checked ? 1 : 0;
        case ControlKind::SpinEdit: return static_cast<const SpinEdit&>(c).Value;
        case ControlKind::Slider: return static_cast<const Slider&>(c).Value;
        default: return static_cast<const Choice&>(c).ItemIndex;
    }
}

void SetValueOf(Control& c, double v) {
    switch (c.Kind) {
        case ControlKind::CheckBox: static_cast<CheckBox&>(c).Checked = v != 0; break;
        case ControlKind::SpinEdit: static_cast<SpinEdit&>(c).Value = v; break;
        case ControlKind::Slider: static_cast<Slider&>(c).Value = int(v); break;
        default: static_cast<Choice&>(c).ItemIndex = int(v); break;
    }
}

// The event the user's own change of the control raises.
Event ChangeEventOf(const Control& c) {
    return c.Kind == ControlKind::CheckBox || c.Kind == ControlKind::RadioGroup ? Event::Click : Event::Change;
}

using CurvePoints = std::vector<WorkSettings::CurvePoint>;

std::array<TBSpline*, 4> CurvesOf(Session& s) {
    return {&s.wavelets.GammaSpline, &s.finalImage.HueSpline, &s.finalImage.SatSpline, &s.finalImage.LightSpline};
}

CurvePoints PointsOf(const TBSpline& spline) {
    CurvePoints out;
    for (int i = 1; i <= spline.PointCount(); ++i) {
        const auto [x, y] = spline.GetPoint(i);
        out.push_back({x, y, spline.Corner(i)});
    }
    return out;
}

// The points set in place, so the spline keeps how it is drawn (pen, resolution, marks).
void SetPoints(TBSpline& spline, const CurvePoints& points) {
    if (points.empty()) return;
    while (spline.PointCount() > int(points.size())) spline.DeletePoint(spline.PointCount());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const int index = int(i) + 1;
        if (index <= spline.PointCount()) spline.SetPoint(index, points[i].X, points[i].Y);
        else spline.AddPoint(points[i].X, points[i].Y);
        spline.SetCorner(index, points[i].Corner);
    }
}

// The settings and picks as they are now.
WorkSettings Observed(Session& s) {
    WorkSettings w;
    w.Values.reserve(s.UndoableControls.size());
    for (const Control* c : s.UndoableControls) w.Values.push_back(ValueOf(*c));
    if (s.ws.ProgStatus >= 1) {
        w.FeatureFrame = s.align.FeatureFrame;
        w.FeatureX = s.ws.AlignX;
        w.FeatureY = s.ws.AlignY;
    }
    const FinalState& st = s.finalImage;
    if (st.CropLeft >= 0) {
        w.CropLeft = st.CropLeft;
        w.CropTop = st.CropTop;
        w.CropRight = st.CropRight;
        w.CropBottom = st.CropBottom;
    }
    for (const AlignmentPoint& p : s.points.Points) w.Points.emplace_back(p.X, p.Y);
    w.PointSize = s.points.Size;
    w.PointsPlacedByUser = s.points.PlacedByUser;
    const auto curves = CurvesOf(s);
    for (std::size_t i = 0; i < curves.size(); ++i) w.Curves[i] = PointsOf(*curves[i]);
    w.GammaTable.assign(s.ws.GammaCurve.begin(), s.ws.GammaCurve.end());
    return w;
}

void KeepFeature(WorkSettings& w, const WorkSettings& from) {
    w.FeatureFrame = from.FeatureFrame;
    w.FeatureX = from.FeatureX;
    w.FeatureY = from.FeatureY;
}
void KeepCrop(WorkSettings& w, const WorkSettings& from) {
    w.CropLeft = from.CropLeft;
    w.CropTop = from.CropTop;
    w.CropRight = from.CropRight;
    w.CropBottom = from.CropBottom;
}
void KeepPoints(WorkSettings& w, const WorkSettings& from) {
    w.Points = from.Points;
    w.PointSize = from.PointSize;
    w.PointsPlacedByUser = from.PointsPlacedByUser;
}

// The settings after an action on `control`: the picks it cannot make stay as recorded.
WorkSettings AfterAction(Session& s, std::string_view control) {
    WorkSettings w = Observed(s);
    const WorkSettings& settled = s.undo.Settled();
    if (!Among(kFeaturePickers, control)) KeepFeature(w, settled);
    if (!Among(kCropPickers, control)) KeepCrop(w, settled);
    if (!Among(kPointPickers, control)) KeepPoints(w, settled);
    return w;
}

bool SameCrop(const WorkSettings& a, const WorkSettings& b) {
    return a.CropLeft == b.CropLeft && a.CropTop == b.CropTop && a.CropRight == b.CropRight && a.CropBottom == b.CropBottom;
}

void ReplayValues(Session& s, const WorkSettings& target) {
    std::vector<Control*> changed;
    for (std::size_t i = 0; i < s.UndoableControls.size() && i < target.Values.size(); ++i) {
        Control& c = *s.UndoableControls[i];
        if (ValueOf(c) == target.Values[i]) continue;
        SetValueOf(c, target.Values[i]);
        changed.push_back(&c);
    }
    // Every value first: a handler may read its neighbours.
    for (Control* c : changed) s.Dispatch(c->Name, ChangeEventOf(*c));
}

// The feature clicked again where it was. Going back to no feature keeps the one in hand: the
// work of a pass made with it is not thrown away by undoing a setting.
void ReplayFeature(Session& s, const WorkSettings& from, const WorkSettings& target) {
    if (target.FeatureFrame < 0 || (from.FeatureFrame == target.FeatureFrame && from.FeatureX == target.FeatureX &&
                                    from.FeatureY == target.FeatureY))
        return;
    s.form.PreviewSlider.Value = std::clamp(target.FeatureFrame, s.form.PreviewSlider.MinValue, s.form.PreviewSlider.MaxValue);
    EventArgs click;
    click.Button = MouseButton::Left;
    click.X = target.FeatureX;
    click.Y = target.FeatureY;
    s.Dispatch("PreviewImage", Event::MouseDown, click);
}

// The crop taken away, and drawn again as the user drew it.
void ReplayCrop(Session& s, const WorkSettings& from, const WorkSettings& target) {
    if (SameCrop(from, target)) return;
    if (s.seams.ResetCrop) s.seams.ResetCrop();
    UpdateFinalBitmap(s);
    if (target.CropLeft < 0) return;
    EventArgs e;
    e.Button = MouseButton::Left;
    e.X = target.CropLeft;
    e.Y = target.CropTop;
    s.Dispatch("RotateImage", Event::MouseDown, e);
    e.X = target.CropRight;
    e.Y = target.CropBottom;
    s.Dispatch("RotateImage", Event::MouseMove, e);
    s.Dispatch("RotateImage", Event::MouseUp, e);
}

void ReplayPoints(Session& s, const WorkSettings& from, const WorkSettings& target) {
    if (from.Points == target.Points && from.PointSize == target.PointSize &&
        from.PointsPlacedByUser == target.PointsPlacedByUser)
        return;
    s.points.Points.clear();
    for (const auto& [x, y] : target.Points) s.points.Points.push_back({x, y});
    s.points.Size = target.PointSize;
    s.points.PlacedByUser = target.PointsPlacedByUser;
    s.points.LastStackUsedPoints = false;
    ShowAlignmentPoints(s);
}

// The curves after the values: a gamma spin's change has put its own curve and table in place.
void ReplayCurves(Session& s, const WorkSettings& target) {
    const WorkSettings now = Observed(s);
    const auto curves = CurvesOf(s);
    if (now.Curves[0] != target.Curves[0]) {
        SetPoints(*curves[0], target.Curves[0]);
        RedrawGammaGraph(s);
    }
    if (now.GammaTable != target.GammaTable && target.GammaTable.size() == s.ws.GammaCurve.size()) {
        std::copy(target.GammaTable.begin(), target.GammaTable.end(), s.ws.GammaCurve.begin());
        RebuildImage(s);
    }
    bool hsl = false;
    for (std::size_t i = 1; i < curves.size(); ++i)
        if (now.Curves[i] != target.Curves[i]) {
            SetPoints(*curves[i], target.Curves[i]);
            hsl = true;
        }
    if (hsl) ApplyHslCurves(s);
}

// The settings of `target` replayed; of the picks only the one the step's control makes, so
// undoing a setting never takes back what a pass or a stack has done to the others since.
void Apply(Session& s, const WorkSettings& target, const std::string& control) {
    const WorkSettings from = Observed(s);
    ReplayValues(s, target);
    if (Among(kFeaturePickers, control)) ReplayFeature(s, from, target);
    if (Among(kCropPickers, control)) ReplayCrop(s, from, target);
    if (Among(kPointPickers, control)) ReplayPoints(s, from, target);
    ReplayCurves(s, target);
    s.undo.Settle(Observed(s));
    MarkWorkChanged(s);
}

}  // namespace

std::vector<Control*> FindUndoableControls(const ControlRegistry& form) {
    std::vector<Control*> out;
    for (Control* c : form.All())
        if (IsSettingKind(c->Kind) && !Among(kNotSettings, c->Name) && !RootOf(form, *c).empty()) out.push_back(c);
    return out;
}

void BeginUserAction(Session& s) {
    if (!s.undo.Started()) return;
    // Picks changed since the last step by the work itself (a tracking pass, a stack placing
    // points) are where this action starts from, not a step of their own.
    const WorkSettings now = Observed(s);
    WorkSettings& settled = s.undo.Settled();
    KeepFeature(settled, now);
    KeepCrop(settled, now);
    KeepPoints(settled, now);
}

void RecordUserAction(Session& s, std::string_view control, Event event) {
    if (!s.undo.Started()) {
        s.undo.Reset(Observed(s));
        return;
    }
    const bool continues = event == Event::Tracking || event == Event::MouseMove ||
                           (event == Event::MouseDown && s.handlers.Has(control, Event::MouseUp));
    if (s.undo.Record(AfterAction(s, control), std::string(control), continues)) MarkWorkChanged(s);
}

void StartUndoHistory(Session& s) { s.undo.Reset(Observed(s)); }

bool UndoStep(Session& s) {
    const HistoryStep* step = s.undo.Undo();
    if (!step) return false;
    Apply(s, step->before, step->control);
    return true;
}

bool RedoStep(Session& s) {
    const HistoryStep* step = s.undo.Redo();
    if (!step) return false;
    Apply(s, step->after, step->control);
    return true;
}

void RegisterUndoHandlers(Session& s) {
    s.handlers.On("Undo", Event::Click, [&s] { UndoStep(s); });
    s.handlers.On("Redo", Event::Click, [&s] { RedoStep(s); });
}

}  // namespace talvenor
