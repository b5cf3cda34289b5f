#include "workspace/frame_lanes.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>
#include <thread>
#include <vector>

namespace talvenor {

struct FrameLanes::Shared {
    // Each lane sleeps on a condition of its own: a job wakes its lane alone (waking every lane
    // for each job woke the other one for nothing, a context switch each time).
    struct Lane {
        std::function<void()> job;  // set while the lane has work
        std::condition_variable wake;
        std::thread thread;
    };
    std::mutex mutex;
    std::condition_variable done;
    std::deque<Lane> lanes;
    std::exception_ptr error;
    bool stop = false;

    void Work(std::size_t n) {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            lanes[n].wake.wait(lock, [&] { return stop || lanes[n].job; });
            if (!lanes[n].job) return;
            std::function<void()> job = lanes[n].job;
            lock.unlock();
            std::exception_ptr failed;
            try {
                job();
            } catch (...) {
                failed = std::current_exception();
            }
            lock.lock();
            if (failed && !error) error = failed;
            lanes[n].job = nullptr;
            done.notify_all();
        }
    }

    void ThrowError(std::unique_lock<std::mutex>&) {
        if (error) std::rethrow_exception(std::exchange(error, nullptr));
    }
};

int FrameLanes::Count() { return int(std::clamp(std::thread::hardware_concurrency(), 2u, 8u)); }

FrameLanes::FrameLanes(int count) : shared_(std::make_unique<Shared>()) {
    for (int n = 0; n < std::max(count, 1); ++n) shared_->lanes.emplace_back();
    for (std::size_t n = 0; n < shared_->lanes.size(); ++n)
        shared_->lanes[n].thread = std::thread([s = shared_.get(), n] { s->Work(n); });
}

FrameLanes::~FrameLanes() {
    {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        shared_->done.wait(lock, [&] {
            return std::none_of(shared_->lanes.begin(), shared_->lanes.end(), [](const auto& l) { return bool(l.job); });
        });
        shared_->stop = true;
    }
    for (auto& lane : shared_->lanes) lane.wake.notify_one();
    for (auto& lane : shared_->lanes) lane.thread.join();
}


int FrameLanes::Acquire() {
    Shared& s = *shared_;
    std::unique_lock<std::mutex> lock(s.mutex);
    int free = -1;
    s.done.wait(lock, [&] {
        for (std::size_t n = 0; n < s.lanes.size(); ++n)
            if (!s.lanes[n].job) {
                free = int(n);
                return true;
            }
        return false;
    });
    s.ThrowError(lock);
    return free;
}

int FrameLanes::TryAcquire() {
    Shared& s = *shared_;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.ThrowError(lock);
    for (std::size_t n = 0; n < s.lanes.size(); ++n)
        if (!s.lanes[n].job) return int(n);
    return -1;
}

void FrameLanes::Start(int lane, std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->lanes[std::size_t(lane)].job = std::move(job);
    }
    shared_->lanes[std::size_t(lane)].wake.notify_one();
}

void FrameLanes::Finish() {
    Shared& s = *shared_;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.done.wait(lock, [&] { return std::none_of(s.lanes.begin(), s.lanes.end(), [](const auto& l) { return bool(l.job); }); });
    s.ThrowError(lock);
}

}  // namespace talvenor
