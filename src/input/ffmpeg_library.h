#pragma once
// libavcodec, libavutil and libswscale, loaded when a capture first needs one of their codecs
// (see shared_library.h): linked, they and the hundred libraries they bring took 57 ms of
// every start of talvenor-cli, a tenth of stacking a 500-frame capture. Only built with
// TALVENOR_HAVE_FFMPEG.
#ifdef TALVENOR_HAVE_FFMPEG

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace talvenor {

// Every function the decoders call, by library.
#define TALVENOR_FFMPEG_FUNCTIONS(X)                                                               \
    X(Codec, avcodec_alloc_context3) X(Codec, avcodec_descriptor_get) X(Codec, avcodec_find_decoder) \
    X(Codec, avcodec_flush_buffers) X(Codec, avcodec_free_context) X(Codec, avcodec_open2)         \
    X(Codec, avcodec_receive_frame) X(Codec, avcodec_send_packet) X(Codec, av_packet_alloc)        \
    X(Codec, av_packet_free) X(Codec, av_packet_new_side_data)                                     \
    X(Util, av_frame_alloc) X(Util, av_frame_free) X(Util, av_frame_move_ref) X(Util, av_frame_unref) \
    X(Util, av_get_pix_fmt_name) X(Util, av_log_set_level) X(Util, av_mallocz) X(Util, av_strerror) \
    X(Scale, sws_freeContext) X(Scale, sws_getCachedContext) X(Scale, sws_getCoefficients)         \
    X(Scale, sws_getColorspaceDetails) X(Scale, sws_scale) X(Scale, sws_setColorspaceDetails)

struct FfmpegLibrary {
#define TALVENOR_FFMPEG_POINTER(library, name) decltype(&::name) name = nullptr;
    TALVENOR_FFMPEG_FUNCTIONS(TALVENOR_FFMPEG_POINTER)
#undef TALVENOR_FFMPEG_POINTER
};

// The libraries, loaded by the first call (from any thread) and kept for the process; null
// when they or one of their functions cannot be found, which makes their codecs unknown as
// in a build without them.
const FfmpegLibrary* Ffmpeg();
// The loaded libraries, where Ffmpeg() was found non-null before.
inline const FfmpegLibrary& Av() { return *Ffmpeg(); }

}  // namespace talvenor

#endif
