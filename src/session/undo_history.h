#pragma once
// The user's settings steps on the Wavelet Processing and Final pages (and their tool
// windows) and the picks (alignment feature, crop rectangle, alignment points), kept so they
// can be undone and redone. The history holds what the settings were before and after each
// step; the Session records and replays them (undoable_settings.h).
#include <array>
#include <cstddef>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace talvenor {

// Everything one step can change, compared as a whole.
struct WorkSettings {
    std::vector<double> Values;  // one per undoable control, in UndoableControls() order
    // The feature the user clicked: frame and centre; frame -1 when none is picked.
    int FeatureFrame = -1, FeatureX = 0, FeatureY = 0;
    // The Final page's crop rectangle; left -1 when none.
    int CropLeft = -1, CropTop = 0, CropRight = 0, CropBottom = 0;
    // The alignment points the user placed, with their box side.
    std::vector<std::pair<int, int>> Points;
    int PointSize = 0;
    bool PointsPlacedByUser = false;
    // The curves edited with the mouse: gamma, hue, saturation, lightness (points in order),
    // and the gamma table the picture was built with (the spin's power law or the curve's).
    struct CurvePoint {
        float X = 0, Y = 0;
        bool Corner = false;
        bool operator==(const CurvePoint&) const = default;
    };
    std::array<std::vector<CurvePoint>, 4> Curves;
    std::vector<double> GammaTable;
    bool operator==(const WorkSettings&) const = default;
};

// One user action: the settings before and after it, and the control it was made on.
struct HistoryStep {
    WorkSettings before, after;
    std::string control;
};

class UndoHistory {
public:
    // More than a session's worth of slider moves; older steps fall off the far end.
    static constexpr std::size_t kMaxSteps = 100;

    // Forgets every step; `now` is where undoing stops (a new input, a loaded project).
    void Reset(WorkSettings now);
    bool Started() const { return started_; }
    // The settings as the last step (or the reset) left them.
    const WorkSettings& Settled() const { return settled_; }
    WorkSettings& Settled() { return settled_; }

    // A user action on `control` ended with the settings at `now`. When they differ from the
    // settled ones a step is recorded, or the open step of the same control grows, so a drag
    // is one step. `continues`: the action is not over (a slider still tracking, a mouse
    // button still held). True when a step was recorded or grown.
    bool Record(WorkSettings now, const std::string& control, bool continues);

    // While a gesture is held (a slider's handle pressed), every change joins one step.
    void BeginGesture() { ++gestures_; }
    void EndGesture();

    bool CanUndo() const { return done_ > 0; }
    bool CanRedo() const { return done_ < steps_.size(); }
    std::size_t UndoCount() const { return done_; }
    std::size_t RedoCount() const { return steps_.size() - done_; }
    // The step to take back (its `before`) or again (its `after`), moving through the history;
    // nullptr when there is none. The caller applies it and then calls Settle.
    const HistoryStep* Undo();
    const HistoryStep* Redo();
    // After applying a step: the settings as the replay left them.
    void Settle(WorkSettings now) { settled_ = std::move(now); }

private:
    std::deque<HistoryStep> steps_;
    std::size_t done_ = 0;  // steps_[0 .. done_) are done; the rest can be redone
    WorkSettings settled_;
    bool started_ = false;
    bool open_ = false;  // the last step may still grow
    int gestures_ = 0;
};

}  // namespace talvenor
