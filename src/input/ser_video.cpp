#include "input/ser_video.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "input/wide_frame.h"

namespace talvenor {

std::optional<BayerPattern> SerBayerPattern(SerColour colour) {
    switch (colour) {
        case SerColour::BayerRggb: return BayerPattern::Rggb;
        case SerColour::BayerGrbg: return BayerPattern::Grbg;
        case SerColour::BayerGbrg: return BayerPattern::Gbrg;
        case SerColour::BayerBggr: return BayerPattern::Bggr;
        default: return std::nullopt;
    }
}

SerVideo::SerVideo(Workspace& ws, const MosaicChoice& choice, const std::filesystem::path& path)
    : ws_(ws), choice_(choice), ser_(path) {
    // Only single-plane data is a mosaic; RGB and BGR frames are colour already.
    if (ser_.Header().Planes() == 1) pattern_ = PatternToUse(choice_, SerBayerPattern(ser_.Colour()));
    if (ser_.PixelDepth() > 8) pictureDepth_ = PictureDepth();
}

// Many cameras declare 16 bits and fill 12, and a faint target fills fewer still: shown by the
// declared depth such a capture is a black picture, which nobody can pick a feature on and the
// frame grading cannot rank. The picture shows the top eight of the bits the first frame
// really uses instead, the same for every frame of the capture (brighter frames clip in the
// picture only; the stack takes the full samples).
int SerVideo::PictureDepth() {
    if (ser_.FrameCount() == 0) return ser_.PixelDepth();
    ser_.ReadFrame(0, samples_);
    uint16_t peak = 0;
    for (uint16_t v : samples_) peak = std::max(peak, v);
    return std::clamp(int(std::bit_width(unsigned(peak))), 8, ser_.PixelDepth());
}

void SerVideo::DecodeFrame(int64_t position, Bitmap24& picture) {
    ws_.FrameIsWide = false;
    if (PicturesStandAlone()) ReadPicture(position, picture);
    else DecodeSamples(position, picture);
}

void SerVideo::ReadPicture(int64_t position, Bitmap24& picture) {
    // Plain 8-bit frames go straight to the picture; mosaics are worked on as samples
    // (demosaicing them is quicker than demosaicing the grey picture), which leave nothing in
    // the workspace at 8 bits.
    if (!pattern_) ser_.ReadFrame(position, picture);
    else DecodeSamples(position, picture);
}

FrameRows SerVideo::ReadPictureRows(int64_t position, const FrameRows& rows, Bitmap24& picture) {
    if (pattern_) {
        DecodeSamples(position, picture);
        return FrameRows::Whole();
    }
    return ser_.ReadFrameRows(position, rows, picture);
}

void SerVideo::DecodeSamples(int64_t position, Bitmap24& picture) {
    const int w = ser_.Width(), h = ser_.Height(), depth = ser_.PixelDepth();
    ser_.ReadFrame(position, samples_);
    int channels = ser_.Header().Planes();
    const uint16_t* colour = samples_.data();
    if (pattern_) {
        rgb_.resize(std::size_t(w) * std::size_t(h) * 3);
        DebayerSamples(samples_.data(), w, h, *pattern_, choice_.method, rgb_.data(), &debayer_);
        colour = rgb_.data();
        channels = 3;
    } else if (ser_.Colour() == SerColour::Bgr) {
        for (std::size_t i = 0; i + 2 < samples_.size(); i += 3) std::swap(samples_[i], samples_[i + 2]);
    }
    PictureFromSamples(colour, channels, w, h, pictureDepth_, picture);
    if (depth > 8) SetWideFrame(ws_, colour, channels, w, h, depth);
}

}  // namespace talvenor
