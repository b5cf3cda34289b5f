#include "input/any_picture.h"

#include "imagefiles/bmp_file.h"
#include "imagefiles/decoded_image.h"
#include "imagefiles/file_kind.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "input/avi_file.h"
#include "input/ser_file.h"
#include "workspace/error.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

// 8-bit samples spread over the full 16-bit range (255 -> 65535).
void WideFromPicture(TTIFFBitMap& image, const Bitmap24& picture) {
    image.CreateWide(picture.Width(), picture.Height());
    image.Picture = picture;
    for (int y = 0; y < picture.Height(); ++y) {
        const uint8_t* p = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x) {
            image.SetSample(x, y, 0, uint16_t(p[3 * x + 2] * 257));
            image.SetSample(x, y, 1, uint16_t(p[3 * x + 1] * 257));
            image.SetSample(x, y, 2, uint16_t(p[3 * x] * 257));
        }
    }
}

// Whether any sample has bits below its top eight: the readers hold 8-bit data as value x 256.
bool HasFineSamples(const TTIFFBitMap& image) {
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.WideRows[std::size_t(y)];
        for (int i = 0; i < image.Width() * 3; ++i)
            if (p[2 * i] != 0) return true;
    }
    return false;
}

void FromDecoded(AnyPicture& picture, const DecodedImage& decoded) {
    ToWideBitmap(decoded, picture.Image);
    picture.Decoding = DescribeDecoding(decoded);
    picture.EightBit = !HasFineSamples(picture.Image);
}

std::string FrameOutOfRange(const fs::path& in, long long count, long long frame) {
    return in.string() + ": has " + std::to_string(count) + " frames, no frame " + std::to_string(frame);
}

}  // namespace

AnyPicture ReadAnyPicture(const fs::path& in, long long frame, bool stretch) {
    AnyPicture picture;
    switch (DetectFileKind(in)) {
        case FileKind::Bmp: WideFromPicture(picture.Image, ReadBmp(in)); break;
        case FileKind::Jpeg: WideFromPicture(picture.Image, ReadJpeg(in)); break;
        case FileKind::Tiff: {
            const TIFD ifd = LoadFromFile(picture.Image, in, &picture.Decoding);
            picture.EightBit = ifd.BitsPerSample <= 8 && !HasFineSamples(picture.Image);
            break;
        }
        case FileKind::Png: FromDecoded(picture, ReadPng(in)); break;
        case FileKind::Fits: FromDecoded(picture, ReadFitsImage(in, stretch)); break;
        case FileKind::Avi: {
            AviFile avi(in);
            if (frame >= avi.Length()) throw Error(FrameOutOfRange(in, avi.Length(), frame));
            Bitmap24 decoded;
            avi.DecodeFrame(avi.Start() + frame, decoded);
            WideFromPicture(picture.Image, decoded);
            break;
        }
        case FileKind::Ser: {
            SerFile ser(in);
            if (frame >= ser.FrameCount()) throw Error(FrameOutOfRange(in, ser.FrameCount(), frame));
            Bitmap24 decoded;
            ser.ReadFrame(int(frame), decoded);
            WideFromPicture(picture.Image, decoded);
            break;
        }
        case FileKind::Unknown: throw Error(in.string() + ": not a BMP, JPEG, PNG, FITS, TIFF, AVI or SER file");
    }
    return picture;
}

}  // namespace talvenor
