#pragma once
// Every access to an AVI capture: open it, decode one frame or a whole range into the
// current frame, find dropped frames, run the active pass steps on each frame (with
// de-interlacing) and close the file again. No file stays open between calls; the parsed
// index of the AVI does (Workspace::CaptureIndex).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "input/debayer.h"
#include "workspace/app_context.h"
#include "workspace/bitmap24.h"
#include "workspace/frame_rows.h"

namespace talvenor {

// The per-frame steps of the passes, bound by the layers above; which of them run is
// decided by AlignPassActive and StackPassActive.
struct PassSteps {
    std::function<void()> AlignStep;
    std::function<void()> StackStep;
    // The rows of frame i the steps will look at, as far as they can tell before it is read
    // (unset: all of them).
    std::function<FrameRows(int64_t)> Rows;
};

constexpr int64_t kAviNothing = -2;
constexpr int64_t kAviWholeStream = -1;

// mode -2 does nothing, -1 handles every frame of the stream that the frame table holds
// (frames 0 .. 5000), k >= 0 frame k alone (which also records the frame size). Frame k is
// the stream's (k + 1)-th frame, at stream position dwStart + k, wherever the stream
// starts. Returns the stream's frame count (dwLength; 0 for mode -2). Errors are thrown
// with the messages users know ("Failed to open AVI file", ...); the file is released on
// every path.
int64_t ReadAviFrames(AppContext& c, const std::filesystem::path& path, int64_t mode, const PassSteps& steps = {});

class AviFile;
class FrameReadAhead;
class SerVideo;

// Whether the file is a SER capture (read by its first bytes). The AVI access below serves SER
// captures too: same frame numbering, no dropped frames.
bool IsSerCapture(const std::filesystem::path& path);

// What handling frame after frame reuses: the decoded frame kept between the two de-interlace
// fields, and the buffers of a mosaic demosaiced (fresh ones each frame were most of a raw
// colour capture's alignment pass in zeroing and page faults).
struct FrameScratch {
    Bitmap24 Kept;
    DebayerScratch Demosaic;
};

// An AVI kept open for a run of single-frame reads in any order (the stacker's ranks, the
// optimizer's frames): each Read does what ReadAviFrames(path, frame) does, without opening
// the file and reading its index again for every frame, except that the preview shows the
// frames only as often as the screen can (Host::TimeToShowProgress), as in a pass.
class AviFrameSource {
public:
    AviFrameSource(AppContext& c, const std::filesystem::path& path);
    ~AviFrameSource();
    // frame as in ReadAviFrames. `next`, the frame the caller will read after this one, is
    // decoded ahead on a worker while this one is handled (an AVI's frames; a SER's are a copy).
    void Read(int64_t frame, const PassSteps& steps = {}, int64_t next = -1);
    // The frames the caller will read, in its order. They are decoded several at a time ahead
    // of the reads (Read then ignores `next` for them). When the capture's frames are predicted
    // from earlier ones (MPEG-4, H.264) and the order goes back in the file, asking for them in
    // that order would decode each from the key frame before it: they are decoded instead in
    // file order, a batch of the next ones at a time (as many as kDecodedBatchBytes hold), and
    // kept until read.
    void WillRead(std::vector<int> order);
    // How many frames were decoded in file order for WillRead.
    int FramesDecodedInFileOrder() const { return decodedInFileOrder_; }
    // Frames read ahead are read as the band of rows `rows(frame)` gives, where the capture
    // stores them as rows; whatever needs more calls Workspace::ReadWholeFrame while a frame is
    // handled. The frame left in hand at the end is whole (black where it could not be read).
    void ReadRowsOnly(std::function<FrameRows(int64_t)> rows);

private:
    FrameRows RowsOf(int64_t frame) const;
    void WholeFrameInHand();
    void DecodeBatchFrom(int64_t frame);
    void AskAhead(int64_t frame, int64_t next);

    AppContext& c_;
    std::unique_ptr<AviFile> avi_;
    std::unique_ptr<SerVideo> ser_;
    // Once used, every frame comes through it. After the videos its worker reads, so that it
    // ends (waiting for the frame being decoded) before they close.
    std::unique_ptr<FrameReadAhead> ahead_;
    FrameScratch scratch_;
    std::vector<int> order_;
    std::size_t ordered_ = 0;                // order_[0 .. ordered_ - 1] are decoded or read
    std::map<int64_t, Bitmap24> decoded_;   // frames decoded ahead of their turn
    int decodedInFileOrder_ = 0;
    std::function<FrameRows(int64_t)> rows_;  // the band of each frame read ahead, if any
    std::vector<int> aheadOrder_;      // the order read ahead in
    std::size_t aheadAt_ = 0;          // aheadOrder_[aheadAt_] is the next frame expected
    std::size_t aheadAsked_ = 0;       // aheadOrder_[.. aheadAsked_ - 1] were asked for
};

// The most bytes of pictures WillRead keeps at a time.
constexpr std::size_t kDecodedBatchBytes = std::size_t(256) << 20;

// Opens an AVI with the index kept in the workspace when it was parsed from this very file
// (same path, size and modification time), else parses it and keeps its index.
std::unique_ptr<AviFile> OpenAviFile(Workspace& ws, const std::filesystem::path& path);

// The AVI of the open sequence: its name resolved in the input directory.
std::filesystem::path AviPath(const AppContext& c);

}  // namespace talvenor
