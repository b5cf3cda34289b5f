#include "input/avi_read_ahead.h"

#include <utility>

#include "input/avi_file.h"

namespace talvenor {

AviReadAhead::AviReadAhead(AviFile& avi) : avi_(avi), worker_([this] { Run(); }) {}

AviReadAhead::~AviReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void AviReadAhead::WaitIdle(std::unique_lock<std::mutex>& lock) {
    done_.wait(lock, [this] { return !pending_; });
}

void AviReadAhead::Start(int64_t position) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        WaitIdle(lock);
        position_ = position;
        ready_ = false;
        error_ = nullptr;
        pending_ = true;
    }
    wake_.notify_one();
}

bool AviReadAhead::Take(int64_t position, Bitmap24& out) {
    bool keptUp = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        keptUp = !pending_;
        WaitIdle(lock);
        if (ready_ && position_ == position) {
            ready_ = false;
            if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
            // Handing the pixels over: the caller's old picture becomes the next one to fill.
            Bitmap24 old = std::move(out);
            out = std::move(picture_);
            picture_ = std::move(old);
            return keptUp;
        }
        ready_ = false;
    }
    avi_.DecodeFrame(position, out);
    return false;
}

void AviReadAhead::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return pending_ || stopping_; });
        if (stopping_) return;
        const int64_t position = position_;
        lock.unlock();
        std::exception_ptr error;
        try {
            avi_.DecodeFrame(position, picture_);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        error_ = error;
        ready_ = true;
        pending_ = false;
        done_.notify_one();
    }
}

}  // namespace talvenor
