#pragma once
// Codecs we do not decode ourselves (FFV1, HuffYUV, Lagarith, UT Video, H.264, ...) go
// through libavcodec when the build found it. Without it, or for a FourCC libavcodec does
// not know, there is no decoder and opening the file says which codec is missing. Their
// pictures are turned into BGR as ffmpeg's own decode does it (avi_ffmpeg_picture.h).
#include <memory>

#include "input/avi_decoders.h"

namespace talvenor {

// Whether this build decodes through libavcodec at all.
bool HaveFfmpegDecoders();

// A decoder for the stream's FourCC, or null. Frames are numbered in display order, so
// codecs that store B-frames out of order (H.264, MPEG-4 Part 2) give frame n the picture
// a player shows as frame n. Codecs that predict from earlier frames are decoded from the
// nearest key frame before the wanted one (one key frame earlier when pictures stored
// after that key frame are shown before it), so any frame can be asked for in any order;
// frames asked for in order are decoded once each, and the pictures the codec holds back
// are drained at the end of the stream.
std::unique_ptr<AviFrameDecoder> MakeFfmpegDecoder(const AviVideoFormat& format);

}  // namespace talvenor
