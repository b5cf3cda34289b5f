#pragma once
// A SER capture seen as a video by the frame loops: every frame is there (SER has no dropped
// frames), at positions 0 .. FrameCount - 1. Raw colour mosaics come out demosaiced as the
// Input page says, and frames of more than 8 bits leave their full-precision samples in the
// workspace's FrameWide beside the 24-bit picture.
#include <filesystem>
#include <optional>
#include <vector>

#include "input/mosaic_choice.h"
#include "input/ser_file.h"
#include "workspace/workspace.h"

namespace talvenor {

// The mosaic a SER colour layout declares (none for mono and RGB/BGR data).
std::optional<BayerPattern> SerBayerPattern(SerColour colour);

class SerVideo {
public:
    SerVideo(Workspace& ws, const MosaicChoice& choice, const std::filesystem::path& path);
    int64_t Start() const { return 0; }
    int64_t Length() const { return ser_.FrameCount(); }
    int Width() const { return ser_.Width(); }
    int Height() const { return ser_.Height(); }
    int64_t FindSample(int64_t position) const { return position; }
    void DecodeFrame(int64_t position, Bitmap24& picture);
    // Whether a frame is its 8-bit picture alone (no wider samples for the workspace):
    // ReadPicture then gives what DecodeFrame gives and touches nothing else, so another
    // thread may read frames ahead with it (one thread at a time).
    bool PicturesStandAlone() const { return ser_.PixelDepth() <= 8; }
    void ReadPicture(int64_t position, Bitmap24& picture);
    // Rows of the picture only, where the frame is plain 8-bit rows (ReadPicture otherwise);
    // returns the rows read.
    FrameRows ReadPictureRows(int64_t position, const FrameRows& rows, Bitmap24& picture);

private:
    int PictureDepth();
    void DecodeSamples(int64_t position, Bitmap24& picture);

    Workspace& ws_;
    MosaicChoice choice_;
    SerFile ser_;
    std::optional<BayerPattern> pattern_;  // the mosaic demosaiced, if any
    int pictureDepth_ = 8;  // the bits the 8-bit picture shows the top eight of
    std::vector<uint16_t> samples_, rgb_;
    DebayerScratch debayer_;
};

}  // namespace talvenor
