#pragma once
// Whole frames worked on side by side: a pass that measures each frame on its own (nothing one
// frame computes is read by another) hands each frame to a lane, a worker thread with scratch of
// its own, while the calling thread reads the next. Splitting one frame's work into bands
// instead woke the workers several times a frame and left cores idle between the steps.
#include <exception>
#include <functional>
#include <memory>

namespace talvenor {

class FrameLanes {
public:
    // One lane per core by default (at least two, so reading overlaps the work even on one core).
    explicit FrameLanes(int count = Count());
    ~FrameLanes();  // waits for the jobs started, then ends the workers
    FrameLanes(const FrameLanes&) = delete;
    FrameLanes& operator=(const FrameLanes&) = delete;

    // How many lanes there are.
    static int Count();
    // Waits until a lane is free and returns it; an error thrown by a job is rethrown here.
    int Acquire();
    // A free lane, or -1 when every lane is busy; an error thrown by a job is rethrown here.
    int TryAcquire();
    // Runs `job` on lane `lane` (from Acquire or TryAcquire).
    void Start(int lane, std::function<void()> job);
    // Waits until every job started has finished; rethrows the first error.
    void Finish();

private:
    struct Shared;
    std::unique_ptr<Shared> shared_;
};

}  // namespace talvenor
