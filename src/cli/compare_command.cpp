#include "cli/compare_command.h"

#include <cmath>
#include <cstdio>
#include <ostream>

#include "imagefiles/bmp_file.h"
#include "imagefiles/file_kind.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/tiff_file.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace {

double Luma(const uint8_t* p) { return 0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0]; }

Bitmap24 ReadPicture(const std::string& path) {
    switch (DetectFileKind(std::filesystem::path(path))) {
        case FileKind::Bmp: return ReadBmp(path);
        case FileKind::Jpeg: return ReadJpeg(path);
        case FileKind::Tiff: {
            TTIFFBitMap t;
            LoadFromFile(t, path);
            return t.Picture;
        }
        default: throw Error(path + ": compare reads BMP, JPEG and TIFF pictures");
    }
}

}  // namespace

double MatchedPsnr(const Bitmap24& image, const Bitmap24& reference, int border) {
    const int w = std::min(image.Width(), reference.Width()), h = std::min(image.Height(), reference.Height());
    double sx = 0, sy = 0, sxx = 0, sxy = 0, n = 0;
    for (int y = border; y < h - border; ++y)
        for (int x = border; x < w - border; ++x) {
            const double a = Luma(image.Row(y) + 3 * x), b = Luma(reference.Row(y) + 3 * x);
            sx += a;
            sy += b;
            sxx += a * a;
            sxy += a * b;
            n += 1;
        }
    if (n == 0) throw Error("the pictures have no area in common");
    const double var = sxx - sx * sx / n;
    const double gain = var > 0 ? (sxy - sx * sy / n) / var : 1;
    const double offset = (sy - gain * sx) / n;
    double se = 0;
    for (int y = border; y < h - border; ++y)
        for (int x = border; x < w - border; ++x) {
            const double a = gain * Luma(image.Row(y) + 3 * x) + offset, b = Luma(reference.Row(y) + 3 * x);
            se += (a - b) * (a - b);
        }
    const double mse = se / n;
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

int RunCompareCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> files;
    int border = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--border" && i + 1 < args.size()) {
            auto b = ParseInteger(args[++i]);
            if (!b || *b < 0) throw Error("--border needs a number of pixels");
            border = int(*b);
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) {
        err << "talvenor-cli: compare needs IMAGE and REFERENCE\n";
        return 2;
    }
    char line[128];
    std::snprintf(line, sizeof line, "PSNR: %.2f dB\n", MatchedPsnr(ReadPicture(files[0]), ReadPicture(files[1]), border));
    out << line;
    return 0;
}

}  // namespace talvenor
