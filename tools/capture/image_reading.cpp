#include "capture/image_reading.h"

#include <algorithm>

#include "imagefiles/bmp_file.h"
#include "imagefiles/file_kind.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/tiff_file.h"
#include "input/avi_file.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor::capture {

namespace fs = std::filesystem;

namespace {

// One FITS plane scaled by the 16-bit range (values + BZERO; 32-bit files may exceed 1).
void ReadFitsPlane(const fs::path& file, FloatImage& out, int channel) {
    const FitsFile fits = LoadFitsFile(file);
    const int w = fits.Header.Width, h = fits.Header.Height;
    if (out.data.empty()) out.Allocate(w, h, channel == 0 && out.channels == 0 ? 1 : out.channels);
    if (w != out.width || h != out.height) throw Error(file.string() + ": its size differs from the other channels'");
    float* plane = out.Plane(channel);
    ReadFitsRows(fits, w, h, [&](int x, int y, int64_t v) {
        plane[std::size_t(y) * std::size_t(w) + std::size_t(x)] = float(double(v) / 65535.0);
    });
}

FloatImage ReadFits(const fs::path& file) {
    FloatImage out;
    std::error_code ec;
    if (fs::exists(file, ec)) {
        ReadFitsPlane(file, out, 0);
        return out;
    }
    fs::path base = file;
    base.replace_extension();
    const char* suffix[3] = {"_R.fit", "_G.fit", "_B.fit"};
    for (int c = 0; c < 3; ++c) {
        const fs::path part(base.string() + suffix[c]);
        if (!fs::exists(part, ec)) throw Error(file.string() + ": no such file (nor a colour triple " + part.string() + ")");
        if (c == 0) {
            const FitsFile head = LoadFitsFile(part);
            out.Allocate(head.Header.Width, head.Header.Height, 3);
        }
        ReadFitsPlane(part, out, c);
    }
    FoldGrey(out);
    return out;
}

FloatImage ReadTiff(const fs::path& file) {
    TTIFFBitMap tiff;
    LoadFromFile(tiff, file);
    if (!tiff.HasWide || tiff.Width() <= 0 || tiff.Height() <= 0) throw Error(file.string() + ": no picture decoded");
    FloatImage out;
    out.Allocate(tiff.Width(), tiff.Height(), 3);
    for (int c = 0; c < 3; ++c) {
        float* plane = out.Plane(c);
        for (int y = 0; y < tiff.Height(); ++y)
            for (int x = 0; x < tiff.Width(); ++x)
                plane[std::size_t(y) * std::size_t(tiff.Width()) + std::size_t(x)] =
                    float(tiff.Sample(x, y, c) / 65535.0);
    }
    FoldGrey(out);
    return out;
}

bool IsImageName(const fs::path& p) {
    const std::string ext = ToLower(p.extension().string());
    return ext == ".bmp" || ext == ".jpg" || ext == ".jpeg" || ext == ".tif" || ext == ".tiff" || ext == ".fit" ||
           ext == ".fits" || ext == ".fts";
}

}  // namespace

void FoldGrey(FloatImage& im) {
    if (im.channels != 3) return;
    const std::size_t n = std::size_t(im.width) * std::size_t(im.height);
    const float *r = im.Plane(0), *g = im.Plane(1), *b = im.Plane(2);
    for (std::size_t i = 0; i < n; ++i)
        if (r[i] != g[i] || g[i] != b[i]) return;
    im.channels = 1;
    im.data.resize(n);
}

void FromBitmap(const Bitmap24& picture, FloatImage& out) {
    const int w = picture.Width(), h = picture.Height();
    out.Allocate(w, h, 3);
    float *r = out.Plane(0), *g = out.Plane(1), *b = out.Plane(2);
    constexpr float k = 1.f / 255.f;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = picture.Row(y);
        const std::size_t base = std::size_t(y) * std::size_t(w);
        for (int x = 0; x < w; ++x) {
            b[base + std::size_t(x)] = row[3 * x] * k;
            g[base + std::size_t(x)] = row[3 * x + 1] * k;
            r[base + std::size_t(x)] = row[3 * x + 2] * k;
        }
    }
    FoldGrey(out);
}

FloatImage ReadFloatImage(const fs::path& file) {
    const std::string ext = ToLower(file.extension().string());
    std::error_code ec;
    if (!fs::exists(file, ec) && (ext == ".fit" || ext == ".fits" || ext == ".fts")) return ReadFits(file);
    FloatImage out;
    switch (DetectFileKind(file)) {
        case FileKind::Bmp: FromBitmap(ReadBmp(file), out); return out;
        case FileKind::Jpeg: FromBitmap(ReadJpeg(file), out); return out;
        case FileKind::Tiff: return ReadTiff(file);
        case FileKind::Fits: return ReadFits(file);
        default: throw Error(file.string() + ": not a BMP, JPEG, TIFF or FITS picture");
    }
}

CaptureFrames::CaptureFrames(const fs::path& capture) {
    std::error_code ec;
    if (fs::is_directory(capture, ec)) {
        for (const auto& entry : fs::directory_iterator(capture)) {
            const fs::path& p = entry.path();
            // The truth images lie beside the frames of a series; they are not frames.
            if (entry.is_regular_file() && IsImageName(p) && p.stem().string().rfind("truth", 0) != 0)
                files_.push_back(p);
        }
        std::sort(files_.begin(), files_.end());
        if (files_.empty()) throw Error(capture.string() + ": no pictures in this folder");
        count_ = int(files_.size());
    } else {
        avi_ = std::make_unique<AviFile>(capture);
        count_ = int(avi_->Length());
    }
}

CaptureFrames::~CaptureFrames() = default;

void CaptureFrames::Read(int k, FloatImage& out) {
    if (k < 0 || k >= count_) throw Error("frame " + std::to_string(k) + " is not in the capture");
    if (avi_) {
        avi_->DecodeFrame(avi_->Start() + k, picture_);
        FromBitmap(picture_, out);
    } else {
        out = ReadFloatImage(files_[std::size_t(k)]);
    }
}

}  // namespace talvenor::capture
