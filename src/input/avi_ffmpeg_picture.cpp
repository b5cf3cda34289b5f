#include "input/avi_ffmpeg_picture.h"

#ifdef TALVENOR_HAVE_FFMPEG

#include <cstring>
#include <string>

#include "input/avi_decoders.h"
#include "input/ffmpeg_library.h"
#include "workspace/bgr_bytes.h"
#include "workspace/error.h"

namespace talvenor {

namespace {

inline void PutPixel(uint8_t* dst, uint8_t b, uint8_t g, uint8_t r) {
    dst[0] = b;
    dst[1] = g;
    dst[2] = r;
}

// The YUV matrix ffmpeg's scaler takes for a picture: the one the stream names when
// libswscale has it, else BT.601, which is what streams without the information mean.
const int* MatrixFor(int colorspace) {
    if (colorspace < 1 || colorspace > 10 || colorspace == AVCOL_SPC_YCGCO) colorspace = AVCOL_SPC_BT470BG;
    return Av().sws_getCoefficients(colorspace);
}

// Rows of pictures libavcodec delivers as RGB, palette or grey bytes, copied across (the
// results equal libswscale's, without its passes). False for every other layout.
bool CopyRow(const AVFrame* f, int y, uint8_t* dst) {
    const int w = f->width;
    const uint8_t* s = f->data[0] + std::ptrdiff_t(y) * f->linesize[0];
    switch (AVPixelFormat(f->format)) {
        case AV_PIX_FMT_BGR24: std::memcpy(dst, s, std::size_t(w) * 3); return true;
        case AV_PIX_FMT_RGB24:
            for (int x = 0; x < w; ++x) PutPixel(dst + 3 * x, s[3 * x + 2], s[3 * x + 1], s[3 * x]);
            return true;
        case AV_PIX_FMT_BGRA:
        case AV_PIX_FMT_BGR0: ConvertBgrxRow(s, dst, w); return true;
        case AV_PIX_FMT_RGBA:
        case AV_PIX_FMT_RGB0:
            for (int x = 0; x < w; ++x) PutPixel(dst + 3 * x, s[4 * x + 2], s[4 * x + 1], s[4 * x]);
            return true;
        case AV_PIX_FMT_ARGB:
        case AV_PIX_FMT_0RGB:
            for (int x = 0; x < w; ++x) PutPixel(dst + 3 * x, s[4 * x + 3], s[4 * x + 2], s[4 * x + 1]);
            return true;
        case AV_PIX_FMT_ABGR:
        case AV_PIX_FMT_0BGR:
            for (int x = 0; x < w; ++x) PutPixel(dst + 3 * x, s[4 * x + 1], s[4 * x + 2], s[4 * x + 3]);
            return true;
        case AV_PIX_FMT_GRAY8: GreyToBgr(s, w, dst); return true;
        case AV_PIX_FMT_PAL8: {
            const uint8_t* pal = f->data[1];  // 256 entries of B, G, R, A
            for (int x = 0; x < w; ++x) {
                const uint8_t* e = pal + 4 * s[x];
                PutPixel(dst + 3 * x, e[0], e[1], e[2]);
            }
            return true;
        }
        case AV_PIX_FMT_GBRP:
        case AV_PIX_FMT_GBRAP: {
            const uint8_t* b = f->data[1] + std::ptrdiff_t(y) * f->linesize[1];
            const uint8_t* r = f->data[2] + std::ptrdiff_t(y) * f->linesize[2];
            for (int x = 0; x < w; ++x) PutPixel(dst + 3 * x, b[x], s[x], r[x]);
            return true;
        }
        default: return false;
    }
}

}  // namespace

FfmpegPictureConverter::~FfmpegPictureConverter() { Av().sws_freeContext(sws_); }

void FfmpegPictureConverter::Convert(const AVFrame* f, Bitmap24& out) {
    const int w = f->width, h = f->height;
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535)
        throw Error("the decoder delivered a picture of " + std::to_string(w) + " x " + std::to_string(h));
    if (out.Width() != w || out.Height() != h) out.SetSize(w, h);
    if (!CopyRow(f, 0, out.Row(0))) {
        Scale(f, out);
    } else {
        for (int y = 1; y < h; ++y) CopyRow(f, y, out.Row(y));
    }
    out.Touch();
}

// Set up as ffmpeg sets up its scaler for "-pix_fmt bgr24": bicubic (which only matters
// where chroma is interpolated), the stream's matrix and range where it states them, and
// no flags of our own. SWS_ACCURATE_RND would move 4:2:0 and 4:2:2 off the fast converter,
// which repeats chroma, to interpolated chroma: tens of levels from ffmpeg's pictures at
// colour edges, and users compare our frames with ffmpeg's.
void FfmpegPictureConverter::Scale(const AVFrame* f, Bitmap24& out) {
    const int w = f->width, h = f->height;
    const Setup want{w, h, f->format, f->colorspace, f->color_range};
    if (!sws_ || !(want == setup_)) {
        setup_ = {};
        const auto format = AVPixelFormat(f->format);
        sws_ = Av().sws_getCachedContext(sws_, w, h, format, w, h, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!sws_) {
            const char* name = Av().av_get_pix_fmt_name(format);
            throw Error(std::string("the decoder delivered pixels in the ") + (name ? name : "unknown") +
                        " format, which cannot be shown");
        }
        int *inverse = nullptr, *table = nullptr;
        int srcFull = 0, dstFull = 0, brightness = 0, contrast = 0, saturation = 0;
        Av().sws_getColorspaceDetails(sws_, &inverse, &srcFull, &table, &dstFull, &brightness, &contrast, &saturation);
        // libswscale already takes the 'J' formats and grey as full range; a range the
        // stream states wins.
        if (f->color_range != AVCOL_RANGE_UNSPECIFIED) srcFull = f->color_range == AVCOL_RANGE_JPEG;
        const int* matrix = MatrixFor(f->colorspace);
        Av().sws_setColorspaceDetails(sws_, matrix, srcFull, matrix, dstFull, brightness, contrast, saturation);
        setup_ = want;
    }
    // The fast YUV converters write whole steps of 8 pixels, into the padding of ffmpeg's
    // own rows; our rows have none, so other widths are converted into padded rows first.
    const bool direct = w % 32 == 0;
    int stride = int(out.Stride());
    uint8_t* dst = out.Row(0);
    if (!direct) {
        stride = ((w + 31) & ~31) * 3;
        padded_.resize(std::size_t(stride) * std::size_t(h));
        dst = padded_.data();
    }
    uint8_t* planes[4] = {dst, nullptr, nullptr, nullptr};
    const int strides[4] = {stride, 0, 0, 0};
    if (Av().sws_scale(sws_, f->data, f->linesize, 0, h, planes, strides) != h) throw Error("libswscale could not convert the picture");
    if (!direct)
        for (int y = 0; y < h; ++y) std::memcpy(out.Row(y), dst + std::ptrdiff_t(y) * stride, std::size_t(w) * 3);
}

}  // namespace talvenor

#endif
