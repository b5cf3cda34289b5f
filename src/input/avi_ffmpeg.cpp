#include "input/avi_ffmpeg.h"

#ifdef TALVENOR_HAVE_FFMPEG

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "input/avi_ffmpeg_picture.h"
#include "input/ffmpeg_library.h"
#include "workspace/error.h"

namespace talvenor {

namespace {

// FourCCs capture and editing programs write into AVI files, and the libavcodec codec for
// each. Compared without regard to letter case, as writers are careless about it.
struct CodecTag {
    const char* fourcc;
    AVCodecID id;
};
const CodecTag kCodecTags[] = {
    {"FFV1", AV_CODEC_ID_FFV1},       {"HFYU", AV_CODEC_ID_HUFFYUV},    {"FFVH", AV_CODEC_ID_FFVHUFF},
    {"LAGS", AV_CODEC_ID_LAGARITH},   {"ULRG", AV_CODEC_ID_UTVIDEO},    {"ULRA", AV_CODEC_ID_UTVIDEO},
    {"ULY0", AV_CODEC_ID_UTVIDEO},    {"ULY2", AV_CODEC_ID_UTVIDEO},    {"ULY4", AV_CODEC_ID_UTVIDEO},
    {"ULH0", AV_CODEC_ID_UTVIDEO},    {"ULH2", AV_CODEC_ID_UTVIDEO},    {"ULH4", AV_CODEC_ID_UTVIDEO},
    {"UQY0", AV_CODEC_ID_UTVIDEO},    {"UQY2", AV_CODEC_ID_UTVIDEO},    {"UQRG", AV_CODEC_ID_UTVIDEO},
    {"UQRA", AV_CODEC_ID_UTVIDEO},    {"UMY2", AV_CODEC_ID_UTVIDEO},    {"UMH2", AV_CODEC_ID_UTVIDEO},
    {"UMY4", AV_CODEC_ID_UTVIDEO},    {"UMH4", AV_CODEC_ID_UTVIDEO},    {"UMRG", AV_CODEC_ID_UTVIDEO},
    {"UMRA", AV_CODEC_ID_UTVIDEO},    {"MAGY", AV_CODEC_ID_MAGICYUV},   {"M8RG", AV_CODEC_ID_MAGICYUV},
    {"M8RA", AV_CODEC_ID_MAGICYUV},   {"M8G0", AV_CODEC_ID_MAGICYUV},   {"M8Y0", AV_CODEC_ID_MAGICYUV},
    {"M8Y2", AV_CODEC_ID_MAGICYUV},   {"M8Y4", AV_CODEC_ID_MAGICYUV},   {"M8YA", AV_CODEC_ID_MAGICYUV},
    {"CLLC", AV_CODEC_ID_CLLC},       {"H264", AV_CODEC_ID_H264},       {"X264", AV_CODEC_ID_H264},
    {"AVC1", AV_CODEC_ID_H264},       {"DAVC", AV_CODEC_ID_H264},       {"VSSH", AV_CODEC_ID_H264},
    {"HEVC", AV_CODEC_ID_HEVC},       {"H265", AV_CODEC_ID_HEVC},       {"XVID", AV_CODEC_ID_MPEG4},
    {"DIVX", AV_CODEC_ID_MPEG4},      {"DX50", AV_CODEC_ID_MPEG4},      {"FMP4", AV_CODEC_ID_MPEG4},
    {"MP4V", AV_CODEC_ID_MPEG4},      {"M4S2", AV_CODEC_ID_MPEG4},      {"3IV2", AV_CODEC_ID_MPEG4},
    {"DIV3", AV_CODEC_ID_MSMPEG4V3},  {"MP43", AV_CODEC_ID_MSMPEG4V3},  {"MP42", AV_CODEC_ID_MSMPEG4V2},
    {"MPG4", AV_CODEC_ID_MSMPEG4V1},  {"MPG2", AV_CODEC_ID_MPEG2VIDEO}, {"MPG1", AV_CODEC_ID_MPEG1VIDEO},
    {"CVID", AV_CODEC_ID_CINEPAK},    {"MSVC", AV_CODEC_ID_MSVIDEO1},   {"CRAM", AV_CODEC_ID_MSVIDEO1},
    {"WHAM", AV_CODEC_ID_MSVIDEO1},   {"TSCC", AV_CODEC_ID_TSCC},       {"VP80", AV_CODEC_ID_VP8},
    {"VP90", AV_CODEC_ID_VP9},        {"IV50", AV_CODEC_ID_INDEO5},     {"IV41", AV_CODEC_ID_INDEO4},
    {"IV31", AV_CODEC_ID_INDEO3},     {"IV32", AV_CODEC_ID_INDEO3},     {"DVSD", AV_CODEC_ID_DVVIDEO},
    {"ZMBV", AV_CODEC_ID_ZMBV},       {"FPS1", AV_CODEC_ID_FRAPS},      {"CFHD", AV_CODEC_ID_CFHD},
    {"LJPG", AV_CODEC_ID_MJPEG},      {"MJLS", AV_CODEC_ID_JPEGLS},     {"V210", AV_CODEC_ID_V210},
    {"R210", AV_CODEC_ID_R210},       {"CAVS", AV_CODEC_ID_CAVS},       {"AV01", AV_CODEC_ID_AV1},
    // Raw layouts libavcodec unpacks by their FourCC.
    {"YV12", AV_CODEC_ID_RAWVIDEO},   {"I420", AV_CODEC_ID_RAWVIDEO},   {"IYUV", AV_CODEC_ID_RAWVIDEO},
    {"NV12", AV_CODEC_ID_RAWVIDEO},   {"NV21", AV_CODEC_ID_RAWVIDEO},   {"YVYU", AV_CODEC_ID_RAWVIDEO},
    {"YV16", AV_CODEC_ID_RAWVIDEO},   {"Y42B", AV_CODEC_ID_RAWVIDEO},   {"Y41B", AV_CODEC_ID_RAWVIDEO},
};

AVCodecID CodecFor(uint32_t code) {
    // Run-length DIB compressions are numbers, not letters.
    if (code == 1 || code == 2) return AV_CODEC_ID_MSRLE;
    char text[4];
    for (int i = 0; i < 4; ++i) text[i] = char(std::toupper((code >> (8 * i)) & 0xFF));
    for (const CodecTag& tag : kCodecTags)
        if (std::memcmp(tag.fourcc, text, 4) == 0) return tag.id;
    return AV_CODEC_ID_NONE;
}

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    Av().av_strerror(code, text, sizeof text);
    return text;
}

class FfmpegDecoder : public AviFrameDecoder {
public:
    FfmpegDecoder(const AviVideoFormat& f, const AVCodec* codec) {
        // A constructor that throws runs no destructor: what was allocated goes here, or a
        // capture the codec refuses would lose it at every reopening (each preview move).
        try {
            Open(f, codec);
        } catch (...) {
            Release();
            throw;
        }
    }
    ~FfmpegDecoder() override { Release(); }
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    void Open(const AviVideoFormat& f, const AVCodec* codec) {
        ctx_ = Av().avcodec_alloc_context3(codec);
        packet_ = Av().av_packet_alloc();
        frame_ = Av().av_frame_alloc();
        if (!ctx_ || !packet_ || !frame_) throw Error("out of memory for the codec");
        ctx_->width = f.Width;
        ctx_->height = f.Height;
        // A frame far larger than the stream's is damage, as for Motion-JPEG: the codec
        // refuses it before allocating for it. The margin covers the edges codecs add
        // around their pictures, which count against the limit too.
        ctx_->max_pixels = 4 * (int64_t(f.Width) + 128) * (int64_t(f.Height) + 128);
        ctx_->codec_tag = f.Compression;
        ctx_->bits_per_coded_sample = f.BitCount;
        // Slice threads only: frame threads would hold frames back, and we want each frame
        // out as soon as its packet is in.
        ctx_->thread_count = 0;
        ctx_->thread_type = FF_THREAD_SLICE;
        if (!f.Extra.empty()) {
            ctx_->extradata = static_cast<uint8_t*>(Av().av_mallocz(f.Extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!ctx_->extradata) throw Error("out of memory for the codec");
            std::memcpy(ctx_->extradata, f.Extra.data(), f.Extra.size());
            ctx_->extradata_size = int(f.Extra.size());
        }
        const int r = Av().avcodec_open2(ctx_, codec, nullptr);
        if (r < 0) throw Error("libavcodec cannot open its " + std::string(codec->name) + " decoder (" + AvError(r) + ")");
        // Palette codecs take the stream's colour table from the packets.
        if (f.BitCount <= 8 && !f.Palette.empty()) {
            uint8_t* pal = Av().av_packet_new_side_data(packet_, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
            if (pal) {
                std::memset(pal, 0, AVPALETTE_SIZE);
                for (std::size_t i = 0; i < f.Palette.size() && i < 256; ++i) {
                    const uint32_t argb = 0xFF000000u | uint32_t(f.Palette[i].r) << 16 | uint32_t(f.Palette[i].g) << 8 | f.Palette[i].b;
                    std::memcpy(pal + 4 * i, &argb, 4);
                }
            }
        }
        const AVCodecDescriptor* desc = Av().avcodec_descriptor_get(codec->id);
        intraOnly_ = desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY);
    }
    void Release() {
        Av().av_frame_free(&frame_);
        Av().av_packet_free(&packet_);
        Av().avcodec_free_context(&ctx_);
    }

    // Frames are numbered in display order: slot j shows the j-th picture the codec
    // delivers when the stream is decoded from its start, which is what players (and
    // ffmpeg) show as frame j. Codecs with B-frames store pictures out of that order, so a
    // sample's own position says nothing about the picture it holds; each packet is
    // stamped with its sample number instead, the codec hands the stamp back with the
    // picture, and the stamps of key frames tie the delivered pictures to their slots.
    bool NeedsEarlierFrames() const override { return !intraOnly_; }

    void Decode(int64_t sample, AviSampleSource& source, Bitmap24& out) override {
        IndexSamples(source);
        const int64_t slot = Ordinal(sample);
        if (slot >= int64_t(shown_.size())) throw Error("there is no picture for sample " + std::to_string(sample));
        if (!CanContinueTo(slot, source)) Restart(slot, source);
        for (;;) {
            Picture p = NextPicture(source);
            if (p.display < slot) continue;
            converter_.Convert(p.frame.get(), out);
            // A picture the codec could not rebuild is skipped by it; the next one it
            // delivers is the closest we can show, and stays due for its own slot.
            if (p.display > slot) pending_.push_front(std::move(p));
            return;
        }
    }

private:
    struct FrameFree {
        void operator()(AVFrame* f) const { Av().av_frame_free(&f); }
    };
    using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
    struct Picture {
        int64_t display = 0;
        FramePtr frame;
    };

    bool IsKey(int64_t k, AviSampleSource& source) const {
        return !source.IsEmptySample(k) && (intraOnly_ || source.IsKeySample(k));
    }

    void IndexSamples(AviSampleSource& source) {
        if (indexed_) return;
        indexed_ = true;
        for (int64_t k = 0; k < source.SampleCount(); ++k)
            if (!source.IsEmptySample(k)) shown_.push_back(k);
        firstKey_ = shown_.empty() ? 0 : shown_.front();
        for (int64_t k : shown_)
            if (IsKey(k, source)) {
                firstKey_ = k;
                break;
            }
    }

    // The display slot of a sample when nothing is reordered: the non-empty samples before it.
    int64_t Ordinal(int64_t sample) const {
        return std::lower_bound(shown_.begin(), shown_.end(), sample) - shown_.begin();
    }

    // The key frame at or before `sample`; the first one when there is none before.
    int64_t KeyAtOrBefore(int64_t sample, AviSampleSource& source) const {
        for (int64_t k = sample; k > firstKey_; --k)
            if (IsKey(k, source)) return k;
        return firstKey_;
    }

    // The display slot of a key frame's own picture, when known. Without reordering it is
    // the key frame's position among the samples; with B-frames the pictures stored after
    // it but shown before it (an open GOP) push it back, and it is known only once a
    // decode from an earlier key frame has passed it.
    std::optional<int64_t> KeySlot(int64_t key) const {
        if (key == firstKey_ || intraOnly_ || (delivered_ && ctx_->has_b_frames == 0)) return Ordinal(key);
        const auto it = keySlots_.find(key);
        if (it == keySlots_.end()) return std::nullopt;
        return it->second;
    }

    bool CanContinueTo(int64_t slot, AviSampleSource& source) const {
        if (!running_ || waiting_) return false;
        const int64_t nextUp = pending_.empty() ? nextDisplay_ : pending_.front().display;
        if (nextUp > slot) return false;
        // A key frame not sent yet whose picture lies between here and the target is a
        // shorter way.
        const int64_t key = KeyAtOrBefore(shown_[std::size_t(slot)], source);
        if (key < next_) return true;
        const auto keySlot = KeySlot(key);
        return !(keySlot && *keySlot > nextUp && *keySlot <= slot);
    }

    // Starts decoding at the key frame at or before the target. When that key frame's slot
    // is not known (or the target is one of the pictures shown before it), decoding starts
    // one key frame earlier, so those pictures are decoded from their true references and
    // counted before the key frame's own picture comes out.
    void Restart(int64_t slot, AviSampleSource& source) {
        const int64_t key = KeyAtOrBefore(shown_[std::size_t(slot)], source);
        const auto keySlot = KeySlot(key);
        anchor_ = key;
        int64_t from = key;
        learning_ = !(keySlot && *keySlot <= slot);
        if (learning_) {
            from = KeyAtOrBefore(key - 1, source);
            if (from >= key) {  // nothing before it: the first key frame comes first
                from = key;
                learning_ = false;
            }
        }
        anchorDisplay_ = keySlot ? *keySlot : Ordinal(key);
        Av().avcodec_flush_buffers(ctx_);
        pending_.clear();
        leading_.clear();
        next_ = from;
        draining_ = false;
        running_ = true;
        waiting_ = true;
    }

    // The next picture in display order with its slot.
    Picture NextPicture(AviSampleSource& source) {
        if (!pending_.empty()) {
            Picture p = std::move(pending_.front());
            pending_.pop_front();
            return p;
        }
        for (;;) {
            FramePtr f = Receive(source);
            const int64_t stamp = f->pts;
            if (waiting_) {
                if (stamp != anchor_ && stamp != AV_NOPTS_VALUE) {
                    // Before the key frame's picture: pictures stored after it belong to
                    // the slots just before it; anything older is of no use here.
                    if (learning_ && stamp > anchor_) leading_.push_back(std::move(f));
                    continue;
                }
                const int64_t display = learning_ ? Ordinal(anchor_) + int64_t(leading_.size()) : anchorDisplay_;
                keySlots_[anchor_] = display;
                int64_t d = display - int64_t(leading_.size());
                for (FramePtr& l : leading_) pending_.push_back({d++, std::move(l)});
                leading_.clear();
                pending_.push_back({display, std::move(f)});
                nextDisplay_ = display + 1;
                waiting_ = false;
                return NextPicture(source);
            }
            const int64_t display = nextDisplay_++;
            if (stamp != AV_NOPTS_VALUE && stamp >= 0 && stamp < source.SampleCount() && IsKey(stamp, source))
                keySlots_.try_emplace(stamp, display);
            return {display, std::move(f)};
        }
    }

    // The codec's next picture, fed with samples as it asks for them and drained at the
    // end of the stream.
    FramePtr Receive(AviSampleSource& source) {
        for (;;) {
            int r = Av().avcodec_receive_frame(ctx_, frame_);
            if (r == 0) {
                delivered_ = true;
                FramePtr f(Av().av_frame_alloc());
                if (!f) {
                    Av().av_frame_unref(frame_);
                    throw Error("out of memory for a picture");
                }
                Av().av_frame_move_ref(f.get(), frame_);
                return f;
            }
            if (r == AVERROR_EOF) Fail("the " + std::string(ctx_->codec->name) + " decoder delivered no picture");
            if (r != AVERROR(EAGAIN)) Fail("the " + std::string(ctx_->codec->name) + " decoder failed (" + AvError(r) + ")");
            if (next_ < source.SampleCount()) {
                const int64_t k = next_++;
                const std::span<const uint8_t> data = source.ReadSample(k);
                if (data.empty()) continue;
                packet_->data = const_cast<uint8_t*>(data.data());
                packet_->size = int(data.size());
                packet_->pts = k;
                packet_->dts = AV_NOPTS_VALUE;
                packet_->flags = IsKey(k, source) ? AV_PKT_FLAG_KEY : 0;
                r = Av().avcodec_send_packet(ctx_, packet_);
                packet_->data = nullptr;
                packet_->size = 0;
                if (r == AVERROR(EAGAIN)) --next_;  // not taken: offer it again after the next picture
                else if (r < 0)
                    Fail("the " + std::string(ctx_->codec->name) + " decoder rejected the frame data (" + AvError(r) + ")");
            } else if (!draining_) {
                Av().avcodec_send_packet(ctx_, nullptr);
                draining_ = true;
            } else {
                Fail("the " + std::string(ctx_->codec->name) + " decoder delivered no picture");
            }
        }
    }

    [[noreturn]] void Fail(const std::string& text) {
        running_ = false;
        throw Error(text);
    }

    AVCodecContext* ctx_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    bool intraOnly_ = false;
    bool delivered_ = false;             // a picture came out, so the codec knows its reordering
    bool indexed_ = false;
    std::vector<int64_t> shown_;         // the non-empty samples: slot j is shown_[j]'s place
    int64_t firstKey_ = 0;
    std::map<int64_t, int64_t> keySlots_;  // key frame sample -> display slot of its picture

    // The run of decoding under way.
    bool running_ = false;               // false: the codec must start afresh
    int64_t next_ = 0;                   // next sample to send
    bool draining_ = false;              // every sample sent, the codec asked for the rest
    bool waiting_ = false;               // for the picture of the key frame the run is tied to
    bool learning_ = false;              // that key frame's slot is found on the way
    int64_t anchor_ = 0, anchorDisplay_ = 0;
    int64_t nextDisplay_ = 0;            // slot of the next picture the codec delivers
    std::vector<FramePtr> leading_;      // pictures shown before the key frame's
    std::deque<Picture> pending_;        // pictures delivered but not yet asked for

    FfmpegPictureConverter converter_;
};

}  // namespace

bool HaveFfmpegDecoders() { return Ffmpeg() != nullptr; }

std::unique_ptr<AviFrameDecoder> MakeFfmpegDecoder(const AviVideoFormat& format) {
    if (!Ffmpeg()) return nullptr;
    const AVCodecID id = CodecFor(format.Compression);
    if (id == AV_CODEC_ID_NONE) return nullptr;
    const AVCodec* codec = Av().avcodec_find_decoder(id);
    if (!codec) return nullptr;
    return std::make_unique<FfmpegDecoder>(format, codec);
}

}  // namespace talvenor

#else

namespace talvenor {

bool HaveFfmpegDecoders() { return false; }
std::unique_ptr<AviFrameDecoder> MakeFfmpegDecoder(const AviVideoFormat&) { return nullptr; }

}  // namespace talvenor

#endif
