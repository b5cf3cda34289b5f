#include "input/frame_read_ahead.h"

#include <algorithm>
#include <utility>

#include "workspace/zeroed_memory.h"

namespace talvenor {

FrameReadAhead::FrameReadAhead(Decode decode, int depth, std::vector<Bitmap24>* pictures)
    : FrameReadAhead(std::vector<Decode>{std::move(decode)}, depth, pictures) {}

FrameReadAhead::FrameReadAhead(std::vector<Decode> decoders, int depth, std::vector<Bitmap24>* pictures)
    : decoders_(std::move(decoders)), depth_(std::max(depth, 1)), idle_(decoders_.size(), 0),
      spare_(pictures ? std::move(*pictures) : std::vector<Bitmap24>{}), pictures_(pictures) {
    for (std::size_t w = 0; w < decoders_.size(); ++w) workers_.emplace_back([this, w] { Run(w); });
}

FrameReadAhead::~FrameReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
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

int FrameReadAhead::Count(State status) const {
    return int(std::count_if(jobs_.begin(), jobs_.end(), [status](const Job& j) { return j.Status == status; }));
}

// With the lock held: whether to wake the sleeping workers, which are then counted as awake.
// They are woken when there are frames to decode and at most half the depth waits decoded
// (none, for a depth of one).
bool FrameReadAhead::ShouldWake() {
    if (std::find(idle_.begin(), idle_.end(), 1) == idle_.end()) return false;
    if (Count(State::Waiting) == 0 || Count(State::Done) * 2 > depth_) return false;
    std::fill(idle_.begin(), idle_.end(), 0);
    return true;
}

void FrameReadAhead::Start(int64_t position) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Job job;
        job.Position = position;
        job.Serial = nextSerial_++;
        if (!spare_.empty()) {
            job.Picture = std::move(spare_.back());
            spare_.pop_back();
        }
        jobs_.push_back(std::move(job));
        wake = ShouldWake();
    }
    if (wake) wake_.notify_all();
}

int FrameReadAhead::Room() {
    std::lock_guard<std::mutex> lock(mutex_);
    return depth_ - int(jobs_.size());
}

// Drops every frame asked for, once the workers are done with the ones they decode.
void FrameReadAhead::Forget(std::unique_lock<std::mutex>& lock) {
    takerWaiting_ = true;
    done_.wait(lock, [this] { return decoding_ == 0; });
    takerWaiting_ = false;
    for (Job& job : jobs_) spare_.push_back(std::move(job.Picture));
    jobs_.clear();
}

bool FrameReadAhead::Take(int64_t position, Bitmap24& out) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (jobs_.empty() || jobs_.front().Position != position) {
        Forget(lock);
        lock.unlock();
        decoders_.front()(position, out);
        return false;
    }
    const bool keptUp = jobs_.front().Status == State::Done;
    if (!keptUp) {
        if (ShouldWake()) wake_.notify_all();
        takerWaiting_ = true;
        done_.wait(lock, [this] { return jobs_.front().Status == State::Done; });
        takerWaiting_ = false;
    }
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    if (ShouldWake()) wake_.notify_all();
    // Handing the pixels over: the caller's old picture becomes a spare for a frame ahead.
    spare_.push_back(std::move(job.Error ? job.Picture : out));
    if (job.Error) std::rethrow_exception(job.Error);
    out = std::move(job.Picture);
    return keptUp;
}

void FrameReadAhead::Run(std::size_t worker) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stopping_) return;
        const auto next = std::find_if(jobs_.begin(), jobs_.end(), [](const Job& j) { return j.Status == State::Waiting; });
        if (next == jobs_.end()) {
            idle_[worker] = 1;
            wake_.wait(lock);
            idle_[worker] = 0;
            continue;
        }
        // Jobs before this one may be taken while it is decoded (never dropped: Forget waits),
        // so it is found again by its serial.
        const int64_t position = next->Position;
        const uint64_t serial = next->Serial;
        Bitmap24 picture = std::move(next->Picture);
        next->Status = State::Decoding;
        ++decoding_;
        lock.unlock();
        std::exception_ptr error;
        try {
            decoders_[worker](position, picture);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        --decoding_;
        Job& job = *std::find_if(jobs_.begin(), jobs_.end(), [serial](const Job& j) { return j.Serial == serial; });
        job.Picture = std::move(picture);
        job.Error = error;
        job.Status = State::Done;
        if (takerWaiting_) done_.notify_one();
    }
}

}  // namespace talvenor
