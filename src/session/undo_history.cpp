#include "session/undo_history.h"

namespace talvenor {

void UndoHistory::Reset(WorkSettings now) {
    steps_.clear();
    done_ = 0;
    settled_ = std::move(now);
    started_ = true;
    open_ = false;
    gestures_ = 0;  // a handle that never reported its release holds no later steps together
}

bool UndoHistory::Record(WorkSettings now, const std::string& control, bool continues) {
    if (!started_) {
        Reset(std::move(now));
        return false;
    }
    const bool keepOpen = continues || gestures_ > 0;
    if (now == settled_) {
        open_ = open_ && keepOpen;
        return false;
    }
    const bool grow = open_ && done_ == steps_.size() && done_ > 0 &&
                      (gestures_ > 0 || steps_.back().control == control);
    if (grow) {
        steps_.back().after = now;
        // A drag that ends where it began changed nothing.
        if (!keepOpen && steps_.back().after == steps_.back().before) {
            steps_.pop_back();
            --done_;
        }
    } else {
        steps_.erase(steps_.begin() + std::ptrdiff_t(done_), steps_.end());
        steps_.push_back({settled_, now, control});
        if (steps_.size() > kMaxSteps) steps_.pop_front();
        done_ = steps_.size();
    }
    settled_ = std::move(now);
    open_ = keepOpen;
    return true;
}

void UndoHistory::EndGesture() {
    if (gestures_ > 0 && --gestures_ == 0) open_ = false;
}

const HistoryStep* UndoHistory::Undo() {
    if (!CanUndo()) return nullptr;
    open_ = false;
    return &steps_[--done_];
}

const HistoryStep* UndoHistory::Redo() {
    if (!CanRedo()) return nullptr;
    open_ = false;
    return &steps_[done_++];
}

}  // namespace talvenor
