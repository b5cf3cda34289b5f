#pragma once
// Pictures libavcodec delivers, turned into our 24-bit BGR pictures. Packed RGB, planar
// RGB, palette and 8-bit grey pictures are copied across as they are. Every other layout
// (the YUV of MPEG-4, H.264, FFV1 and the rest) goes through libswscale set up as ffmpeg's
// own conversion to BGR24 sets it up, so a capture shows here as ffmpeg decodes it.
#include <cstdint>
#include <vector>

#include "workspace/bitmap24.h"

struct AVFrame;
struct SwsContext;

namespace talvenor {

class FfmpegPictureConverter {
public:
    FfmpegPictureConverter() = default;
    ~FfmpegPictureConverter();
    FfmpegPictureConverter(const FfmpegPictureConverter&) = delete;
    FfmpegPictureConverter& operator=(const FfmpegPictureConverter&) = delete;

    // `frame` into `out`, which is resized only when the picture's size changes. Throws
    // talvenor::Error (the problem alone) for a size or pixel format that cannot be shown.
    void Convert(const AVFrame* frame, Bitmap24& out);

private:
    void Scale(const AVFrame* frame, Bitmap24& out);

    // The converter is set up again only when one of these changes, which in a capture is
    // never after its first picture.
    struct Setup {
        int width = 0, height = 0, format = -1, colorspace = -1, range = -1;
        bool operator==(const Setup&) const = default;
    };
    SwsContext* sws_ = nullptr;
    Setup setup_;
    std::vector<uint8_t> padded_;  // rows wide enough for the converters' 8-pixel steps
};

}  // namespace talvenor
