#pragma once
// Turning the stored bytes of one AVI video sample into a 24-bit picture.
//
// We decode the formats capture programs write for planetary work ourselves: uncompressed
// DIB frames (8-bit palette or grey, 16-bit RGB555/565, 24-bit, 32-bit), 8-bit grey
// ('Y800', 'Y8  ', 'GREY'), packed 4:2:2 YUV ('YUY2', 'UYVY') and Motion-JPEG through
// libjpeg. Every other codec goes to libavcodec when the build has it (avi_ffmpeg.h).
//
// A decoder is made once per opened file and then fed frame after frame: it keeps its
// lookup tables and never allocates per frame; the picture is resized only when its size
// changes. Decoders throw talvenor::Error with the problem alone ("pixel data ends early
// (needs 2304 bytes, has 1200)"); AviFile adds the file and the frame position.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "workspace/bitmap24.h"
#include "workspace/frame_rows.h"
#include "workspace/random_access_file.h"

namespace talvenor {

// FourCC codes as they sit in the file: the first character in the lowest byte.
constexpr uint32_t FourCC(const char (&c)[5]) {
    return uint32_t(uint8_t(c[0])) | uint32_t(uint8_t(c[1])) << 8 | uint32_t(uint8_t(c[2])) << 16 |
           uint32_t(uint8_t(c[3])) << 24;
}
// "MJPG" for a printable code, "BI_RGB", "BI_RLE8", "BI_RLE4", "BI_BITFIELDS" for the
// numeric DIB compressions, else the number in hexadecimal ("0x00000007").
std::string FourCCText(uint32_t code);

// The video stream's format block: a bitmap-info header and what follows it.
struct AviVideoFormat {
    int Width = 0;
    int Height = 0;          // absolute
    bool TopDown = false;    // biHeight < 0
    int BitCount = 0;
    uint32_t Compression = 0;
    uint32_t Handler = 0;    // strh.fccHandler, a hint only
    std::vector<Bgr> Palette;          // the biClrUsed colour-table entries (at most 256)
    std::array<uint32_t, 3> Masks{};   // BI_BITFIELDS red, green, blue; zero when absent
    std::vector<uint8_t> Extra;        // every byte after the 40-byte header (codec setup data)
};

// What a decoder may ask of the file: the bytes of any sample of the video stream.
class AviSampleSource {
public:
    virtual ~AviSampleSource() = default;
    virtual int64_t SampleCount() const = 0;
    // An empty span for a dropped frame. Followed in memory by at least 64 zero bytes, as
    // libavcodec wants; valid until the next call.
    virtual std::span<const uint8_t> ReadSample(int64_t sample) = 0;
    // The sample's size, and its first bytes read piece by piece straight into their places (a
    // frame's rows into the picture); false where the source cannot, and ReadSample serves.
    virtual uint64_t SampleBytes(int64_t) const { return 0; }
    // `skip` bytes into the sample: the pieces then start there.
    virtual bool ReadSampleInto(int64_t, std::span<const FilePiece>, uint64_t skip = 0) {
        (void)skip;
        return false;
    }
    // A non-empty sample a decoder can start from. Files scanned without an index only
    // know their first frame to be one.
    virtual bool IsKeySample(int64_t sample) const = 0;
    // Whether the sample holds no data (a dropped frame); such samples show no picture of
    // their own, so they take no place in a codec's display order.
    virtual bool IsEmptySample(int64_t sample) const = 0;
};

class AviFrameDecoder {
public:
    virtual ~AviFrameDecoder() = default;
    // Decodes sample `sample` (never an empty one) into `out`.
    virtual void Decode(int64_t sample, AviSampleSource& source, Bitmap24& out) = 0;
    // Only rows.First .. rows.Last of the frame (clipped to it) into their rows of `out`, which
    // takes the frame's size; false (nothing read) where the decoder reads whole frames only.
    virtual bool DecodeRows(int64_t sample, AviSampleSource& source, const FrameRows& rows, Bitmap24& out) {
        (void)sample, (void)source, (void)rows, (void)out;
        return false;
    }
    // The fewest bytes a frame it accepts can have: the frame size times the depth for frames
    // stored as they are, 0 for codecs, whose frames may be any size.
    virtual uint64_t SmallestSampleBytes() const { return 0; }
    // Whether frames are predicted from earlier ones, so that a frame asked for out of order
    // is decoded from the key frame before it.
    virtual bool NeedsEarlierFrames() const { return false; }
};

// The decoder for the format, ours first, then libavcodec's. Null when none can handle it.
std::unique_ptr<AviFrameDecoder> MakeAviFrameDecoder(const AviVideoFormat& format);

// The Huffman tables of the JPEG standard as one DHT segment (marker included), which we
// give Motion-JPEG frames that come without tables.
std::span<const uint8_t> StandardJpegHuffmanTables();

// BT.601 YUV to BGR as the common converters do it, in fixed point with 16 fraction bits.
struct YuvToBgr {
    int32_t Y[256], Rv[256], Gu[256], Gv[256], Bu[256];
    // Limited range (Y 16..235, chroma 16..240) or full range, BT.601 or BT.709 matrix.
    static const YuvToBgr& Get(bool fullRange, bool bt709);

    void Pixel(uint8_t y, uint8_t u, uint8_t v, uint8_t* bgr) const {
        const int32_t l = Y[y];
        bgr[0] = Clip(l + Bu[u]);
        bgr[1] = Clip(l + Gu[u] + Gv[v]);
        bgr[2] = Clip(l + Rv[v]);
    }
    static uint8_t Clip(int32_t v) {
        v >>= 16;
        return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
};

// Row converters shared with the libavcodec path. `dst` receives `width` BGR pixels.
void ConvertBgrxRow(const uint8_t* src, uint8_t* dst, int width);  // 32-bit B, G, R, x
// Packed 4:2:2: `lumaFirst` for Y0 U Y1 V (YUY2), else U Y0 V Y1 (UYVY).
void ConvertYuv422Row(const uint8_t* src, uint8_t* dst, int width, bool lumaFirst, const YuvToBgr& t);

}  // namespace talvenor
