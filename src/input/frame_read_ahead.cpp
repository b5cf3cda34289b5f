#include "input/frame_read_ahead.h"

#include <algorithm>
#include <utility>

#include "workspace/zeroed_memory.h"

namespace talvenor {

FrameReadAhead::FrameReadAhead(Decode decode, int depth, std::vector<Bitmap24>* pictures, DecodeRows decodeRows)
    : decode_(std::move(decode)), decodeRows_(std::move(decodeRows)), depth_(std::max(depth, 1)), spare_(pictures ? std::move(*pictures) : std::vector<Bitmap24>{}),
      pictures_(pictures), worker_([this] { Run(); }) {}

FrameReadAhead::~FrameReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
    if (!pictures_) return;
    for (Job& job : jobs_) spare_.push_back(std::move(job.Picture));
    for (Bitmap24& p : spare_)
        if (!p.Empty() && pictures_->size() < 8) pictures_->push_back(std::move(p));
}

int FrameReadAhead::DepthFor(int width, int height) {
    constexpr std::size_t kBudget = std::size_t(8) << 20;
    const std::size_t picture = BlockFootprint(std::size_t(std::max(width, 1)) * std::size_t(std::max(height, 1)) * 3);
    return int(std::clamp<std::size_t>(kBudget / std::max<std::size_t>(picture, 1), 1, 8));
}

// With the lock held: whether to wake the worker, which is then counted as awake. It is woken
// when it sleeps, has frames to decode and at most half the depth waits decoded (none, for a
// depth of one).
bool FrameReadAhead::ShouldWake() {
    if (!workerIdle_ || decoded_ >= jobs_.size() || int(decoded_) * 2 > depth_) return false;
    workerIdle_ = false;
    return true;
}

void FrameReadAhead::Start(int64_t position, const FrameRows& rows) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Job job;
        job.Position = position;
        job.Rows = decodeRows_ ? rows : FrameRows::Whole();
        if (!spare_.empty()) {
            job.Picture = std::move(spare_.back());
            spare_.pop_back();
        }
        jobs_.push_back(std::move(job));
        wake = ShouldWake();
    }
    if (wake) wake_.notify_one();
}

int FrameReadAhead::Room() {
    std::lock_guard<std::mutex> lock(mutex_);
    return depth_ - int(jobs_.size());
}

// Drops every frame asked for, once the worker is done with the one it decodes.
void FrameReadAhead::Forget(std::unique_lock<std::mutex>& lock) {
    takerWaiting_ = true;
    done_.wait(lock, [this] { return !decoding_; });
    takerWaiting_ = false;
    for (Job& job : jobs_) spare_.push_back(std::move(job.Picture));
    jobs_.clear();
    decoded_ = 0;
}

bool FrameReadAhead::Take(int64_t position, Bitmap24& out, FrameRows* held) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (jobs_.empty() || jobs_.front().Position != position) {
        Forget(lock);
        lock.unlock();
        decode_(position, out);
        if (held) *held = FrameRows::Whole();
        return false;
    }
    const bool keptUp = decoded_ > 0;
    if (!keptUp) {
        if (ShouldWake()) wake_.notify_one();
        takerWaiting_ = true;
        done_.wait(lock, [this] { return decoded_ > 0; });
        takerWaiting_ = false;
    }
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    --decoded_;
    if (ShouldWake()) wake_.notify_one();
    // Handing the pixels over: the caller's old picture becomes a spare for a frame ahead.
    spare_.push_back(std::move(job.Error ? job.Picture : out));
    if (job.Error) std::rethrow_exception(job.Error);
    out = std::move(job.Picture);
    if (held) *held = job.Rows;
    return keptUp;
}

void FrameReadAhead::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stopping_) return;
        if (decoded_ >= jobs_.size()) {
            workerIdle_ = true;
            wake_.wait(lock);
            workerIdle_ = false;
            continue;
        }
        // Frames before this one are only ever taken (never dropped) while it is decoded, so it
        // stays at jobs_[decoded_].
        const int64_t position = jobs_[decoded_].Position;
        FrameRows rows = jobs_[decoded_].Rows;
        Bitmap24 picture = std::move(jobs_[decoded_].Picture);
        decoding_ = true;
        lock.unlock();
        std::exception_ptr error;
        try {
            if (rows.IsWhole()) decode_(position, picture);
            else rows = decodeRows_(position, rows, picture);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        decoding_ = false;
        Job& job = jobs_[decoded_];
        job.Picture = std::move(picture);
        job.Rows = rows;
        job.Error = error;
        ++decoded_;
        if (takerWaiting_) done_.notify_one();
    }
}

}  // namespace talvenor
