#pragma once
// Codecs we do not decode ourselves (FFV1, HuffYUV, Lagarith, UT Video, H.264, ...) go
// through libavcodec when the build found it. Without it, or for a FourCC libavcodec does
// not know, there is no decoder and opening the file says which codec is missing.
#include <memory>

#include "input/avi_decoders.h"

namespace talvenor {

// Whether this build decodes through libavcodec at all.
bool HaveFfmpegDecoders();

// A decoder for the stream's FourCC, or null. Codecs that predict from earlier frames are
// decoded from the nearest key frame before the wanted one, so any frame can be asked for
// in any order; frames asked for in order are decoded once each.
std::unique_ptr<AviFrameDecoder> MakeFfmpegDecoder(const AviVideoFormat& format);

}  // namespace talvenor
