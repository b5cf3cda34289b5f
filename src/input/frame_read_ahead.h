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
// Only this object's worker calls the decoding function while frames are being decoded ahead
// (an AVI's DecodeFrame, a plain SER's ReadPicture); the calling thread may use the file's index
// (FindSample, sizes) meanwhile, which never changes once the file is open. The worker never
// touches the workspace, the controls or the host.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "workspace/bitmap24.h"
#include "workspace/frame_rows.h"

namespace talvenor {

class FrameReadAhead {
public:
    // `decode` puts the frame at a position into a picture (throwing what it cannot read). With
    // `pictures`, the pictures to decode into are taken from there, and given back at the end.
    using Decode = std::function<void(int64_t, Bitmap24&)>;
    // Reads a band of a frame's rows, or the whole frame, and says which rows it read.
    using DecodeRows = std::function<FrameRows(int64_t, const FrameRows&, Bitmap24&)>;
    explicit FrameReadAhead(Decode decode, int depth = 1, std::vector<Bitmap24>* pictures = nullptr,
                            DecodeRows decodeRows = {});
    ~FrameReadAhead();  // waits for a frame being decoded, then ends the worker
    FrameReadAhead(const FrameReadAhead&) = delete;
    FrameReadAhead& operator=(const FrameReadAhead&) = delete;

    // How many frames to keep decoded ahead of a pass over frames of this size: as many as
    // 8 MB of pictures hold, 1 to 8.
    static int DepthFor(int width, int height);

    // Asks for the frame at `position` after those asked for before; they are decoded in that
    // order. Ask only while Room() > 0. With a band of `rows` (and DecodeRows given), only
    // those may be read.
    void Start(int64_t position, const FrameRows& rows = FrameRows::Whole());
    // How many more frames may be asked for now: the depth less those asked for and not taken.
    int Room();
    // The frame at `position` into `out`: the next one decoded ahead (handed over without a
    // copy) when it is that position, otherwise decoded now, and every frame asked for is
    // forgotten. A decoding error is thrown here. Returns whether the frame was ready when
    // asked for (the worker kept up with the pass). `held` (when given) receives the rows read:
    // a frame decoded now is read whole.
    bool Take(int64_t position, Bitmap24& out, FrameRows* held = nullptr);

private:
    struct Job {
        int64_t Position = -1;
        FrameRows Rows;  // asked for, then read
        Bitmap24 Picture;
        std::exception_ptr Error;
    };
    void Run();
    bool ShouldWake();
    void Forget(std::unique_lock<std::mutex>& lock);

    Decode decode_;
    DecodeRows decodeRows_;
    const int depth_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<Job> jobs_;           // asked for and not taken, in order; the first `decoded_` are done
    std::size_t decoded_ = 0;
    bool decoding_ = false;          // the worker holds the picture of jobs_[decoded_]
    bool workerIdle_ = false;        // the worker waits for work
    bool takerWaiting_ = false;      // the calling thread waits for jobs_.front()
    bool stopping_ = false;
    std::vector<Bitmap24> spare_;    // pictures of frames taken, for the next ones
    std::vector<Bitmap24>* pictures_;
    std::thread worker_;  // last: started once everything it uses exists
};

}  // namespace talvenor
