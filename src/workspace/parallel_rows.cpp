#include "workspace/parallel_rows.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace talvenor {

namespace {
int Workers() {
    const unsigned n = std::thread::hardware_concurrency();
    return int(std::clamp(n, 1u, 8u));
}
}  // namespace

int RowBands(int rows, int minRows) {
    if (rows <= 0) return 0;
    return std::clamp(rows / std::max(1, minRows), 1, Workers());
}

namespace {
// Band b of `bands` over rows first..last: its first and last row.
std::pair<int, int> BandRows(int first, int last, int bands, int b) {
    const long long rows = last - first + 1;
    return {first + int(rows * b / bands), first + int(rows * (b + 1) / bands) - 1};
}
}  // namespace

void ParallelRows(int first, int last, const std::function<void(int, int)>& band, int minRows) {
    const int rows = last - first + 1;
    const int bands = RowBands(rows, minRows);
    if (bands <= 1) {
        if (rows > 0) band(first, last);
        return;
    }
    std::vector<std::thread> threads;
    threads.reserve(std::size_t(bands - 1));
    for (int b = 0; b + 1 < bands; ++b) {
        const auto [start, end] = BandRows(first, last, bands, b);
        threads.emplace_back(band, start, end);
    }
    const auto [start, end] = BandRows(first, last, bands, bands - 1);
    band(start, end);
    for (std::thread& t : threads) t.join();
}

// Worker w runs band w of each job (the calling thread runs the last band), then reports done.
struct RowWorkers::Shared {
    std::mutex mutex;
    std::condition_variable wake, done;
    const std::function<void(int, int)>* band = nullptr;
    int first = 0, last = -1, bands = 0;
    long long job = 0;  // counts the jobs handed out
    int pending = 0;    // workers still on the current job
    bool stop = false;
    std::vector<std::thread> threads;

    void Work(int w) {
        long long seen = 0;
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [&] { return stop || job != seen; });
            if (stop) return;
            seen = job;
            const bool mine = w + 1 < bands;
            const auto [start, end] = BandRows(first, last, std::max(bands, 1), w);
            const std::function<void(int, int)>* fn = band;
            lock.unlock();
            if (mine) (*fn)(start, end);
            lock.lock();
            if (--pending == 0) done.notify_one();
        }
    }
};

RowWorkers::RowWorkers() : shared_(std::make_unique<Shared>()) {
    const int workers = Workers() - 1;
    for (int w = 0; w < workers; ++w) shared_->threads.emplace_back([s = shared_.get(), w] { s->Work(w); });
}

RowWorkers::~RowWorkers() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->wake.notify_all();
    for (std::thread& t : shared_->threads) t.join();
}

void RowWorkers::Run(int first, int last, const std::function<void(int, int)>& band, int minRows) {
    const int rows = last - first + 1;
    const int bands = std::min(RowBands(rows, minRows), int(shared_->threads.size()) + 1);
    if (bands <= 1) {
        if (rows > 0) band(first, last);
        return;
    }
    Shared& s = *shared_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.band = &band;
        s.first = first;
        s.last = last;
        s.bands = bands;
        s.pending = int(s.threads.size());
        ++s.job;
    }
    s.wake.notify_all();
    const auto [start, end] = BandRows(first, last, bands, bands - 1);
    band(start, end);
    std::unique_lock<std::mutex> lock(s.mutex);
    s.done.wait(lock, [&] { return s.pending == 0; });
}

}  // namespace talvenor
