#include "input/avi_frames.h"

#include <algorithm>
#include <optional>
#include <type_traits>

#include "input/avi_file.h"
#include "input/frame_read_ahead.h"
#include "input/unreadable_frames.h"
#include "input/input_colour.h"
#include "input/ser_video.h"
#include "imagefiles/file_kind.h"
#include "input/deinterlace.h"
#include "input/frame_display.h"
#include "workspace/error.h"
#include "workspace/progress_window.h"
#include "workspace/zeroed_memory.h"

namespace talvenor {

namespace {

void RunSteps(AppContext& c, const PassSteps& steps) {
    if (c.ws.AlignPassActive && steps.AlignStep) steps.AlignStep();
    if (c.ws.StackPassActive && steps.StackStep) steps.StackStep();
}

// Restores the normal cursor however the call ends.
struct CursorRestorer {
    Host& host;
    ~CursorRestorer() { host.SetCursor(CursorKind::Default); }
};

// AVIs say nothing about a sensor's mosaic: a grey frame becomes colour only when the user
// named its pattern.
void DemosaicGreyAviFrame(AppContext& c, Bitmap24& picture, DebayerScratch& scratch) {
    const MosaicChoice choice = MosaicChoiceOf(c.form);
    if (choice.source != MosaicChoice::Source::Fixed || !IsGreyPicture(picture, 0)) return;
    Debayer(picture, choice.pattern, choice.method, &scratch);
}

// How a frame is read: in a pass over the stream, on its own (the slider, a preview), or as one
// of a run of single reads from a file kept open (the optimizer, the stacker), whose pictures
// the screen shows only as often as it can, as a pass's (copying every frame of a run into the
// preview cost the optimizer a tenth of its time on large frames).
enum class FrameRead { InPass, Alone, InRun };

// Everything done with frame i once it is due: the dropped-frame test, decoding, the sizes
// (single-frame reads), showing it, and the steps (both fields when de-interlacing).
// Frame i is the stream's (i + 1)-th frame, at stream position dwStart + i. With `ahead`, the
// frame comes from it and `askAhead` then asks it for the frames that follow; with `decoded`,
// it was decoded already.
template <class Video>
void HandleFrame(AppContext& c, Video& avi, int64_t i, FrameRead how, const PassSteps& steps, FrameScratch& scratch,
                 FrameReadAhead* ahead = nullptr, const std::function<void()>& askAhead = {},
                 Bitmap24* decoded = nullptr) {
    const bool single = how != FrameRead::InPass;
    Workspace& ws = c.ws;
    FrameRecord& f = ws.Frames[std::size_t(i)];
    const int64_t position = avi.Start() + i;
    if (avi.FindSample(position) != position) {
        f.Excluded = 1;
        f.Dropped = 1;
        ItemList& list = c.form.SelectFramesChecklist;
        if (i < list.Count()) {
            list.Items[std::size_t(i)] = "dropped frame";
            list.Checked[std::size_t(i)] = true;
            list.Grayed[std::size_t(i)] = true;
        }
        ws.DroppedFramesSeen = true;
    }

    try {
        FrameRows held;
        if (decoded) std::swap(ws.CurrentFrameImage, *decoded);
        else if (ahead) ws.ReaderKeptUp = ahead->Take(position, ws.CurrentFrameImage, &held);
        else avi.DecodeFrame(position, ws.CurrentFrameImage);
        ws.CurrentFrameRows = held;
    } catch (const Error& e) {
        // In a pass the frame is left out and the pass goes on; a frame asked for on its own
        // (the preview) says why it cannot be shown.
        if (single || !(ws.AlignPassActive || ws.StackPassActive)) throw;
        if (ahead) askAhead();
        SkipUnreadableFrame(c, int(i), e.what());
        return;
    }
    if (ahead) askAhead();
    if constexpr (std::is_same_v<Video, AviFile>) {
        ws.FrameIsWide = false;
        DemosaicGreyAviFrame(c, ws.CurrentFrameImage, scratch.Demosaic);
    } else if (ahead) {
        ws.FrameIsWide = false;  // a SER frame read ahead is its picture alone
    }
    // The two fields of an interlaced frame are cut from the 8-bit picture only.
    if (c.form.Interlaced.Checked) ws.FrameIsWide = false;
    const bool passActive = ws.AlignPassActive || ws.StackPassActive;
    ws.RefreshDisplays = (how == FrameRead::Alone && !passActive) || c.host.TimeToShowProgress();
    // A frame the screen shows is shown whole.
    if (ws.RefreshDisplays) ws.NeedWholeFrame();
    if (single) {
        ws.ImageHeight = ws.UnclampedHeight = avi.Height();
        ws.ImageWidth = ws.UnclampedWidth = avi.Width();
        ws.ImageWidth = std::min(ws.ImageWidth, kMaxImageSide);
        ws.ImageHeight = std::min(ws.ImageHeight, kMaxImageSide);
        ws.SourceWidth = ws.ImageWidth;
        ws.SourceHeight = ws.ImageHeight;
    }
    ws.CurrentFrame = int(i);

    if (f.Excluded) {
        if (ws.RefreshDisplays) ShowCurrentFrame(c);
        return;
    }
    if (!c.form.Interlaced.Checked) {
        if (ws.RefreshDisplays) ShowCurrentFrame(c);
        RunSteps(c, steps);
    } else {
        const bool horizontal = c.form.InterlaceHoriz.Checked;
        scratch.Kept = ws.CurrentFrameImage;
        ws.FieldIndex = 0;
        Deinterlace(ws.CurrentFrameImage, 0, horizontal, ws.SourceWidth, ws.SourceHeight);
        RunSteps(c, steps);
        ws.FieldIndex = 1;
        ws.CurrentFrameImage = scratch.Kept;
        Deinterlace(ws.CurrentFrameImage, 1, horizontal, ws.SourceWidth, ws.SourceHeight);
        if (ws.RefreshDisplays) ShowCurrentFrame(c);
        RunSteps(c, steps);
    }
}

}  // namespace

bool IsSerCapture(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && DetectFileKind(path) == FileKind::Ser;
}

std::filesystem::path AviPath(const AppContext& c) {
    return std::filesystem::path(c.form.DirectoryListBox1.Directory) / c.ws.AviFileName;
}

namespace {

// How a worker reads a video's frames ahead.
FrameReadAhead::Decode ReadAheadOf(AviFile& avi) {
    return [&avi](int64_t position, Bitmap24& out) { avi.DecodeFrame(position, out); };
}
FrameReadAhead::Decode ReadAheadOf(SerVideo& ser) {
    return [&ser](int64_t position, Bitmap24& out) { ser.ReadPicture(position, out); };
}

// How a worker reads bands of a frame's rows.
FrameReadAhead::DecodeRows RowsAheadOf(AviFile& avi) {
    return [&avi](int64_t position, const FrameRows& rows, Bitmap24& out) { return avi.DecodeFrameRows(position, rows, out); };
}
FrameReadAhead::DecodeRows RowsAheadOf(SerVideo& ser) {
    return [&ser](int64_t position, const FrameRows& rows, Bitmap24& out) { return ser.ReadPictureRows(position, rows, out); };
}

// Whether a pass may read only the rows its steps ask for: frames read ahead in a pass whose
// steps say which rows they want, and nothing made of the whole frame on the way (de-interlaced
// fields, a demosaiced mosaic).
bool FramesMayBeBands(const AppContext& c) {
    return !c.ws.ReadFramesWhole && !c.form.Interlaced.Checked && MosaicChoiceOf(c.form).source != MosaicChoice::Source::Fixed;
}
bool ReadsRowBands(const AppContext& c, const PassSteps& steps, bool passActive, int64_t mode) {
    return steps.Rows && passActive && mode < 0 && FramesMayBeBands(c);
}

// The frame in hand (at `position`) read whole again; the frames asked for ahead are dropped.
void TakeWhole(Workspace& ws, FrameReadAhead& ahead, int64_t position) {
    if (ws.CurrentFrameRows.IsWhole()) return;
    ahead.Take(position, ws.CurrentFrameImage);
    ws.CurrentFrameRows = FrameRows::Whole();
}

// When a pass that read bands of rows ends: the frame left in hand read whole, or black outside
// its band where it cannot be read (so it shows nothing of another frame).
void WholeOnLeaving(Workspace& ws, FrameReadAhead* ahead, int64_t position) {
    try {
        if (ahead) TakeWhole(ws, *ahead, position);
    } catch (...) {
    }
    Bitmap24& picture = ws.CurrentFrameImage;
    if (!ws.CurrentFrameRows.IsWhole())
        for (int y = 0; y < picture.Height(); ++y) {
            if (ws.CurrentFrameRows.Holds(y, y)) continue;
            if (picture.HoldsGrey()) std::fill_n(picture.GreyRowToFill(y), std::size_t(picture.Width()), uint8_t(0));
            else std::fill_n(picture.Row(y), picture.Stride(), uint8_t(0));
        }
    ws.CurrentFrameRows = FrameRows::Whole();
}

// The frames of a video the call asks for, handled in order; the next ones are decoded ahead
// (AVIs, and SERs whose frames are their pictures alone).
template <class Video>
int64_t RunFrames(AppContext& c, Video& video, int64_t mode, const PassSteps& steps, bool readAhead) {
    Workspace& ws = c.ws;
    // Frames 0 .. length - 1 are stream positions start .. start + length - 1. The frame table,
    // the slider and the frame list hold the first 5001 of them, and a pass handles exactly those.
    const int64_t frames = video.Length();
    int64_t first = 0;
    int64_t last = std::min<int64_t>(frames - 1, kMaxFrameIndex);
    c.form.PreviewSlider.MaxValue = int(std::clamp<int64_t>(frames - 1, 0, kMaxFrameIndex));
    if (mode >= 0) first = last = std::min<int64_t>(mode, kMaxFrameIndex);

    const bool passActive = ws.AlignPassActive || ws.StackPassActive;
    ws.RefreshDisplays = true;
    struct RefreshRestorer {
        bool& flag;
        ~RefreshRestorer() { flag = true; }
    } restoreRefresh{ws.RefreshDisplays};
    FrameScratch scratch;
    // Frames handled after frame i: the next one not skipped, as the table stands now.
    const auto nextHandled = [&](int64_t i) -> int64_t {
        for (int64_t j = i + 1; j <= last; ++j)
            if (!(ws.Frames[std::size_t(j)].Excluded && passActive)) return j;
        return -1;
    };
    std::optional<FrameReadAhead> ahead;
    const bool bands = readAhead && ReadsRowBands(c, steps, passActive, mode);
    if (readAhead && first != last)
        ahead.emplace(ReadAheadOf(video), FrameReadAhead::DepthFor(video.Width(), video.Height()), &ws.ReadAheadPictures,
                      bands ? RowsAheadOf(video) : FrameReadAhead::DecodeRows{});
    // The frames after the one in hand are asked for as far as the read-ahead has room.
    int64_t asked = -1;
    int64_t inHand = first;
    const auto askAhead = [&] {
        for (asked = std::max(asked, inHand); ahead->Room() > 0;) {
            const int64_t next = nextHandled(asked);
            if (next < 0) break;
            ahead->Start(video.Start() + next, bands ? steps.Rows(next) : FrameRows::Whole());
            asked = next;
        }
    };
    // The frame in hand read whole, for whatever needs more than the band read (the frames
    // dropped from the read-ahead are asked for again); on the way out, the frame left in hand
    // is made whole and nothing more is asked for.
    struct WholeFrameOnExit {
        Workspace& ws;
        FrameReadAhead& ahead;
        const int64_t start;
        const int64_t& inHand;
        ~WholeFrameOnExit() {
            ws.ReadWholeFrame = nullptr;
            WholeOnLeaving(ws, &ahead, start + inHand);
        }
    };
    std::optional<WholeFrameOnExit> wholeOnExit;
    if (bands && ahead) {
        ws.ReadWholeFrame = [&] {
            if (ws.CurrentFrameRows.IsWhole()) return;
            TakeWhole(ws, *ahead, video.Start() + inHand);
            asked = inHand;
            askAhead();
        };
        wholeOnExit.emplace(ws, *ahead, video.Start(), inHand);
    }
    int counted = 0;
    for (int64_t i = first; i <= last; ++i) {
        FrameRecord& f = ws.Frames[std::size_t(i)];
        if (f.Excluded && passActive) continue;
        if (!f.Excluded) {
            ++counted;
            if (first != last && ws.SelectedCount > 0) SetProgress(c.form, c.host, counted, ws.SelectedCount);
        }
        c.host.PumpMessages();
        if (ws.CancelRequested) break;

        const FrameRead how = mode >= 0 ? FrameRead::Alone : FrameRead::InPass;
        inHand = i;
        if (ahead) HandleFrame(c, video, i, how, steps, scratch, &*ahead, askAhead);
        else HandleFrame(c, video, i, how, steps, scratch);
    }
    return frames;
}

}  // namespace

std::unique_ptr<AviFile> OpenAviFile(Workspace& ws, const std::filesystem::path& path) {
    const std::optional<FileIdentity> file = IdentifyFile(path);
    if (file)
        if (std::shared_ptr<const AviIndex> kept = ws.CaptureIndex.Find<AviIndex>(*file))
            return std::make_unique<AviFile>(path, std::move(kept));
    auto avi = std::make_unique<AviFile>(path);
    // Taken before the parse: a file changed meanwhile has another identity by the next call.
    if (file) ws.CaptureIndex.Keep(*file, avi->SharedIndex());
    return avi;
}

int64_t ReadAviFrames(AppContext& c, const std::filesystem::path& path, int64_t mode, const PassSteps& steps) {
    if (mode == kAviNothing) return 0;
    c.ws.DroppedFramesSeen = false;
    CursorRestorer restore{c.host};
    if (IsSerCapture(path)) {
        SerVideo ser(c.ws, MosaicChoiceOf(c.form), path);
        return RunFrames(c, ser, mode, steps, ser.PicturesStandAlone());
    }
    const std::unique_ptr<AviFile> avi = OpenAviFile(c.ws, path);
    return RunFrames(c, *avi, mode, steps, true);
}

AviFrameSource::AviFrameSource(AppContext& c, const std::filesystem::path& path) : c_(c) {
    if (IsSerCapture(path)) ser_ = std::make_unique<SerVideo>(c.ws, MosaicChoiceOf(c.form), path);
    else avi_ = OpenAviFile(c.ws, path);
}

AviFrameSource::~AviFrameSource() {
    WholeFrameInHand();
    c_.ws.RefreshDisplays = true;
    c_.host.SetCursor(CursorKind::Default);
}

void AviFrameSource::Read(int64_t frame, const PassSteps& steps, int64_t next) {
    const int64_t i = std::clamp<int64_t>(frame, 0, kMaxFrameIndex);
    const bool passActive = c_.ws.AlignPassActive || c_.ws.StackPassActive;
    if (c_.ws.Frames[std::size_t(i)].Excluded && passActive) return;
    if (ser_ && !ser_->PicturesStandAlone()) {
        HandleFrame(c_, *ser_, i, FrameRead::InRun, steps, scratch_);
        return;
    }
    if (!order_.empty()) {
        // Frames come from the batches; nothing is decoded ahead beside them.
        next = -1;
        if (!decoded_.contains(i)) DecodeBatchFrom(i);
        if (const auto it = decoded_.find(i); it != decoded_.end()) {
            Bitmap24 picture = std::move(it->second);
            decoded_.erase(it);
            HandleFrame(c_, *avi_, i, FrameRead::InRun, steps, scratch_, nullptr, {}, &picture);
            return;
        }
    }
    if (next >= 0 && !ahead_) {
        const int w = ser_ ? ser_->Width() : avi_->Width(), h = ser_ ? ser_->Height() : avi_->Height();
        const int depth = aheadOrder_.empty() ? 1 : FrameReadAhead::DepthFor(w, h);
        if (!FramesMayBeBands(c_)) rows_ = nullptr;
        FrameReadAhead::DecodeRows bands;
        if (rows_) bands = ser_ ? RowsAheadOf(*ser_) : RowsAheadOf(*avi_);
        ahead_ = std::make_unique<FrameReadAhead>(ser_ ? ReadAheadOf(*ser_) : ReadAheadOf(*avi_), depth,
                                                  &c_.ws.ReadAheadPictures, std::move(bands));
    }
    const auto askAhead = [&] { AskAhead(i, next); };
    // While the frame is handled, whatever needs more than its band has it read whole.
    Workspace& ws = c_.ws;
    const int64_t start = ser_ ? ser_->Start() : avi_->Start();
    if (ahead_ && rows_)
        ws.ReadWholeFrame = [this, &ws, i, start] {
            if (ws.CurrentFrameRows.IsWhole()) return;
            TakeWhole(ws, *ahead_, start + i);
            aheadAsked_ = aheadAt_;  // the frames asked for ahead were dropped
        };
    struct Unset {
        std::function<void()>& f;
        ~Unset() { f = nullptr; }
    } unset{ws.ReadWholeFrame};
    if (ser_) HandleFrame(c_, *ser_, i, FrameRead::InRun, steps, scratch_, ahead_.get(), askAhead);
    else HandleFrame(c_, *avi_, i, FrameRead::InRun, steps, scratch_, ahead_.get(), askAhead);
}

void AviFrameSource::ReadRowsOnly(std::function<FrameRows(int64_t)> rows) { rows_ = std::move(rows); }

void AviFrameSource::WholeFrameInHand() {
    Workspace& ws = c_.ws;
    WholeOnLeaving(ws, ahead_.get(), (ser_ ? ser_->Start() : avi_->Start()) + std::clamp(ws.CurrentFrame, 0, kMaxFrameIndex));
}

void AviFrameSource::AskAhead(int64_t frame, int64_t next) {
    // Where the frame stands in the order the caller gave; the frames after it are asked for
    // as far as there is room.
    const int64_t start = ser_ ? ser_->Start() : avi_->Start();
    std::size_t at = aheadAt_;
    while (at < aheadOrder_.size() && aheadOrder_[at] != frame) ++at;
    if (at == aheadOrder_.size()) {
        if (next >= 0 && ahead_->Room() > 0) ahead_->Start(start + std::min<int64_t>(next, kMaxFrameIndex), RowsOf(next));
        return;
    }
    aheadAt_ = at + 1;
    for (aheadAsked_ = std::max(aheadAsked_, aheadAt_); aheadAsked_ < aheadOrder_.size() && ahead_->Room() > 0;
         ++aheadAsked_)
        ahead_->Start(start + std::min<int64_t>(aheadOrder_[aheadAsked_], kMaxFrameIndex), RowsOf(aheadOrder_[aheadAsked_]));
}

FrameRows AviFrameSource::RowsOf(int64_t frame) const { return rows_ ? rows_(frame) : FrameRows::Whole(); }

void AviFrameSource::WillRead(std::vector<int> order) {
    if (ser_ && !ser_->PicturesStandAlone()) return;
    // Frames asked for in file order never make a predicting codec go back to a key frame.
    if (avi_ && avi_->PredictsFrames() && !ahead_ && !std::is_sorted(order.begin(), order.end())) {
        order_ = std::move(order);
        ordered_ = 0;
        return;
    }
    aheadOrder_ = std::move(order);
    aheadAt_ = aheadAsked_ = 0;
}

void AviFrameSource::DecodeBatchFrom(int64_t frame) {
    // Where the frame comes in the order from here on; a frame read out of the order is
    // decoded on its own.
    std::size_t from = ordered_;
    while (from < order_.size() && order_[from] != frame) ++from;
    if (from == order_.size()) return;
    const std::size_t frameBytes =
        std::max<std::size_t>(BlockFootprint(std::size_t(avi_->Width()) * std::size_t(avi_->Height()) * 3), 1);
    const std::size_t count = std::max<std::size_t>(1, kDecodedBatchBytes / frameBytes);
    std::vector<int> batch(order_.begin() + std::ptrdiff_t(from),
                           order_.begin() + std::ptrdiff_t(std::min(order_.size(), from + count)));
    ordered_ = from + batch.size();
    std::sort(batch.begin(), batch.end());
    batch.erase(std::unique(batch.begin(), batch.end()), batch.end());
    for (const int f : batch) {
        if (decoded_.contains(f)) continue;
        Bitmap24 picture;
        try {
            avi_->DecodeFrame(avi_->Start() + f, picture);
        } catch (const Error&) {
            continue;  // read again when its turn comes, which reports the error as ever
        }
        decoded_.emplace(f, std::move(picture));
        ++decodedInFileOrder_;
    }
}

}  // namespace talvenor
