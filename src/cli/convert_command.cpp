#include "cli/convert_command.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <ostream>

#include "imagefiles/bmp_file.h"
#include "imagefiles/file_kind.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/tiff_file.h"
#include "input/ser_file.h"
#include "input/avi_file.h"
#include "session/session.h"
#include "workspace/error.h"
#include "workspace/scripted_host.h"
#include "workspace/text_util.h"

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

// The FITS frame reader leaves full-precision values in FitsPlane scaled to 0..65536
// (16-bit files) or 0..2^31 (32-bit files); the wide image takes them at 16 bits.
void WideFromFitsPlane(TTIFFBitMap& image, const Workspace& ws, double scale) {
    image.CreateWide(ws.SourceWidth, ws.SourceHeight);
    image.Picture = ws.CurrentFrameImage;
    for (int y = 0; y < ws.SourceHeight; ++y)
        for (int x = 0; x < ws.SourceWidth; ++x) {
            const double v = std::clamp(std::nearbyint(ws.FitsPlane.Get(x, y) * scale), 0.0, 65535.0);
            for (int c = 0; c < 3; ++c) image.SetSample(x, y, c, uint16_t(v));
        }
}

bool IsColour(const Bitmap24& picture) {
    for (int y = 0; y < picture.Height(); ++y) {
        const uint8_t* p = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x)
            if (p[3 * x] != p[3 * x + 1] || p[3 * x + 1] != p[3 * x + 2]) return true;
    }
    return false;
}

}  // namespace

int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> paths;
    long long frame = 0;
    bool stretch = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--frame" && i + 1 < args.size()) {
            auto n = ParseInteger(args[++i]);
            if (!n || *n < 0) throw Error("--frame needs a frame number (0 or more), not \"" + args[i] + "\"");
            frame = *n;
        } else if (args[i] == "--stretch") {
            stretch = true;
        } else if (!args[i].empty() && args[i][0] == '-') {
            throw Error("convert: unknown option " + args[i]);
        } else {
            paths.push_back(args[i]);
        }
    }
    if (paths.size() != 2) {
        err << "talvenor-cli: convert needs IN and OUT (see talvenor-cli --help)\n";
        return 2;
    }
    const fs::path in = paths[0], outPath = paths[1];
    const std::string ext = ToLower(outPath.extension().string());
    if (ext != ".bmp" && ext != ".jpg" && ext != ".jpeg" && ext != ".tif" && ext != ".tiff" && ext != ".fit" &&
        ext != ".fits")
        throw Error(outPath.string() + ": the output must end in .bmp, .jpg, .tif or .fit");

    ScriptedHost host;
    host.OnMessage = [&err](const ScriptedHost::Shown& m) {
        err << "[" << MsgKindName(m.Kind) << "] " << m.Text << " -> " << AnswerName(m.Taken) << "\n";
    };
    Session s(host);
    Workspace& ws = s.ws;
    TTIFFBitMap image;
    switch (DetectFileKind(in)) {
        case FileKind::Bmp: WideFromPicture(image, ReadBmp(in)); break;
        case FileKind::Jpeg: WideFromPicture(image, ReadJpeg(in)); break;
        case FileKind::Tiff: LoadFromFile(image, in); break;
        case FileKind::Fits: {
            ws.StretchFitsLevels = stretch;
            const FitsFile file = LoadFitsFile(in);
            if (!FitsBitpixSupported(file.Header.Bitpix))
                throw Error(in.string() + ": unsupported fits format (BITPIX " + std::to_string(file.Header.Bitpix) + ")");
            ReadFitsFrame(ws, s.form, host, in);
            WideFromFitsPlane(image, ws, file.Header.Bitpix == 16 ? 1.0 : 1.0 / 32768.0);
            break;
        }
        case FileKind::Avi: {
            AviFile avi(in);
            if (frame >= avi.Length())
                throw Error(in.string() + ": has " + std::to_string(avi.Length()) + " frames, no frame " + std::to_string(frame));
            Bitmap24 picture;
            avi.DecodeFrame(avi.Start() + frame, picture);
            WideFromPicture(image, picture);
            break;
        }
        case FileKind::Ser: {
            SerFile ser(in);
            if (frame >= ser.FrameCount())
                throw Error(in.string() + ": has " + std::to_string(ser.FrameCount()) + " frames, no frame " + std::to_string(frame));
            Bitmap24 picture;
            ser.ReadFrame(int(frame), picture);
            WideFromPicture(image, picture);
            break;
        }
        case FileKind::Unknown: throw Error(in.string() + ": not a BMP, JPEG, FITS, TIFF, AVI or SER file");
    }

    std::vector<std::string> written{outPath.string()};
    if (ext == ".bmp") {
        WriteBmp24(outPath, image.Picture);
    } else if (ext == ".jpg" || ext == ".jpeg") {
        WriteJpeg(outPath, image.Picture);
    } else if (ext == ".tif" || ext == ".tiff") {
        SaveToFile(image, outPath);
    } else {
        // The FITS writer saves the 16-bit result image of the workspace, one file per
        // channel in colour.
        ws.ImageWidth = image.Width();
        ws.ImageHeight = image.Height();
        s.form.ColourStack.Checked = IsColour(image.Picture);
        ws.StackTiff = std::move(image);
        WriteFits(ws, s.form, host, outPath, ws.ImageWidth, ws.ImageHeight, 1, 16);
        const fs::path base = outPath.parent_path() / outPath.stem();
        written = s.form.ColourStack.Checked
                      ? std::vector<std::string>{base.string() + "_R.fit", base.string() + "_G.fit", base.string() + "_B.fit"}
                      : std::vector<std::string>{base.string() + ".fit"};
    }
    for (const auto& w : written) out << "wrote " << w << "\n";
    return 0;
}

}  // namespace talvenor
