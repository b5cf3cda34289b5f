#pragma once
// Decoding the next frame of a pass while the current one is worked on. A pass over a capture
// reads every frame in order, and reading and decoding one (a copy out of the page cache and a
// conversion to 24 bits) took a fifth of the time of aligning it: a worker thread with a
// picture of its own now decodes frame i + 1 while the pass aligns frame i. The frames are the
// very bytes a decode on the calling thread gives, whatever was asked ahead: a frame asked for
// that is not the one decoded ahead is decoded there and then, and a decoding error of a frame
// ahead only surfaces when (and if) the pass comes to that frame.
//
// Only this object's worker calls AviFile::DecodeFrame while a frame is being decoded ahead;
// the calling thread may use the file's index (FindSample, sizes) meanwhile, which never
// changes once the file is open. The worker never touches the workspace, the controls or the
// host.
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

#include "workspace/bitmap24.h"

namespace talvenor {

class AviFile;

class AviReadAhead {
public:
    explicit AviReadAhead(AviFile& avi);
    ~AviReadAhead();  // waits for a frame being decoded, then ends the worker
    AviReadAhead(const AviReadAhead&) = delete;
    AviReadAhead& operator=(const AviReadAhead&) = delete;

    // Starts decoding the frame at `position` on the worker; a frame decoded ahead and not
    // taken is dropped.
    void Start(int64_t position);
    // The frame at `position` into `out`: the one decoded ahead (handed over without a copy)
    // when it is that position, otherwise decoded now. A decoding error is thrown here.
    // Returns whether the frame was ready when asked for (the worker kept up with the pass).
    bool Take(int64_t position, Bitmap24& out);

private:
    void Run();
    void WaitIdle(std::unique_lock<std::mutex>& lock);

    AviFile& avi_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    bool pending_ = false;   // a position was asked for and is not decoded yet
    bool ready_ = false;     // `picture_` holds `position_`, or `error_` its failure
    bool stopping_ = false;
    int64_t position_ = -1;
    Bitmap24 picture_;
    std::exception_ptr error_;
    std::thread worker_;  // last: started once everything it uses exists
};

}  // namespace talvenor
