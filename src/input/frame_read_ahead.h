#pragma once
// Decoding the next frames of a pass while the current one is worked on. A pass over a capture
// reads every frame in order, and reading and decoding one (a copy out of the page cache and a
// conversion to 24 bits) took a fifth of the time of aligning it: a worker thread with pictures
// of its own decodes the frames the pass will ask for while it works on the one in hand. The
// frames are the very bytes a decode on the calling thread gives, whatever was asked ahead: a
// frame asked for that is not the next one decoded ahead is decoded there and then (the frames
// ahead are dropped), and a decoding error of a frame ahead only surfaces when (and if) the
// pass comes to that frame.
//
// Several frames may wait decoded (`depth`): waking a sleeping thread costs as much as a small
// frame's work on a virtual machine, so the worker, once it has filled every picture, sleeps
// until half of them are taken, and a pass wakes it once every few frames instead of every frame.
//
// Frames that stand alone (no frame predicted from another) may be decoded by two workers, each
// through a file of its own, each on a different frame: a colour pass spent more time copying
// frames out of the page cache than aligning them, and one worker left the other core idle.
//
// Only this object's workers call the decoding functions while frames are being decoded ahead
// (an AVI's DecodeFrame, a plain SER's ReadPicture), each worker its own; the calling thread may
// use the file's index (FindSample, sizes) meanwhile, which never changes once the file is open.
// The workers never touch the workspace, the controls or the host.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "workspace/bitmap24.h"

namespace talvenor {

class FrameReadAhead {
public:
    // `decode` puts the frame at a position into a picture (throwing what it cannot read). With
    // `pictures`, the pictures to decode into are taken from there, and given back at the end.
    using Decode = std::function<void(int64_t, Bitmap24&)>;
    explicit FrameReadAhead(Decode decode, int depth = 1, std::vector<Bitmap24>* pictures = nullptr);
    // One worker for each function (each reading through a file of its own).
    FrameReadAhead(std::vector<Decode> decoders, int depth, std::vector<Bitmap24>* pictures = nullptr);
    ~FrameReadAhead();  // waits for the frames being decoded, then ends the workers
    FrameReadAhead(const FrameReadAhead&) = delete;
    FrameReadAhead& operator=(const FrameReadAhead&) = delete;

    // How many frames to keep decoded ahead of a pass over frames of this size: as many as
    // 8 MB of pictures hold, 1 to 8.
    static int DepthFor(int width, int height);

    // Asks for the frame at `position` after those asked for before; they are decoded in that
    // order. Ask only while Room() > 0.
    void Start(int64_t position);
    // How many more frames may be asked for now: the depth less those asked for and not taken.
    int Room();
    // The frame at `position` into `out`: the next one decoded ahead (handed over without a
    // copy) when it is that position, otherwise decoded now, and every frame asked for is
    // forgotten. A decoding error is thrown here. Returns whether the frame was ready when
    // asked for (the worker kept up with the pass).
    bool Take(int64_t position, Bitmap24& out);

private:
    enum class State { Waiting, Decoding, Done };
    struct Job {
        int64_t Position = -1;
        uint64_t Serial = 0;  // tells a job apart while those before it are taken
        State Status = State::Waiting;
        Bitmap24 Picture;
        std::exception_ptr Error;
    };
    void Run(std::size_t worker);
    bool ShouldWake();
    int Count(State status) const;
    void Forget(std::unique_lock<std::mutex>& lock);

    std::vector<Decode> decoders_;
    const int depth_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    // Asked for and not taken, in order. Workers take the first waiting one, so a waiting job
    // never comes before one being decoded or done.
    std::deque<Job> jobs_;
    uint64_t nextSerial_ = 0;
    int decoding_ = 0;               // jobs a worker holds the picture of
    std::vector<char> idle_;         // per worker: waits for work and has not been woken
    bool takerWaiting_ = false;      // the calling thread waits for jobs_.front() or the workers
    bool stopping_ = false;
    std::vector<Bitmap24> spare_;    // pictures of frames taken, for the next ones
    std::vector<Bitmap24>* pictures_;
    std::vector<std::thread> workers_;  // last: started once everything they use exists
};

}  // namespace talvenor
