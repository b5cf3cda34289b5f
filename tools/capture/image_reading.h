#pragma once
// Pictures and captures read back as float images (planar, 0..1 of each file's full scale),
// so that results and frames of every kind the program reads can be judged against the
// truth: BMP, JPEG, TIFF (8 or 16 bits per sample), 16/32-bit FITS, colour FITS saved as
// NAME_R.fit, NAME_G.fit and NAME_B.fit, and the frames of AVI captures and image series.
// A picture whose three channels are equal everywhere comes back grey (one channel), as a
// monochrome stack saved in a colour format is grey.
#include <filesystem>
#include <memory>
#include <vector>

#include "capture/frames.h"
#include "workspace/bitmap24.h"

namespace talvenor {
class AviFile;
}

namespace talvenor::capture {

// Throws talvenor::Error naming the file when it cannot be read. For a FITS name whose file
// does not exist, the colour triple NAME_R/_G/_B.fit is read instead when it exists.
FloatImage ReadFloatImage(const std::filesystem::path& file);

// The picture as a float image: three channels red, green, blue, or one when they are equal.
void FromBitmap(const Bitmap24& picture, FloatImage& out);

// One channel, or three folded to one when they are all equal.
void FoldGrey(FloatImage& image);

// The frames of a capture written by the generator (or by a camera program): an AVI file,
// or a directory of numbered images read in name order.
class CaptureFrames {
public:
    explicit CaptureFrames(const std::filesystem::path& capture);
    ~CaptureFrames();
    CaptureFrames(const CaptureFrames&) = delete;
    CaptureFrames& operator=(const CaptureFrames&) = delete;

    int Count() const { return count_; }
    // Frame k (0-based). A dropped AVI frame reads as the frame before it, as in the program.
    void Read(int k, FloatImage& out);

private:
    std::unique_ptr<AviFile> avi_;
    std::vector<std::filesystem::path> files_;
    int count_ = 0;
    Bitmap24 picture_;
};

}  // namespace talvenor::capture
