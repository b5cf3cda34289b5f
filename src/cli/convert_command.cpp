#include "cli/convert_command.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <ostream>

#include "input/any_picture.h"
#include "cli/cli_host.h"
#include "cli/output_guard.h"
#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "session/session.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

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
    bool stretch = false, force = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--frame" && i + 1 < args.size()) {
            auto n = ParseInteger(args[++i]);
            if (!n || *n < 0) throw Error("--frame needs a frame number (0 or more), not \"" + args[i] + "\"");
            frame = *n;
        } else if (args[i] == "--stretch") {
            stretch = true;
        } else if (args[i] == "--force" || args[i] == "-y") {
            force = true;
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
        ext != ".fits" && ext != ".png")
        throw Error(outPath.string() + ": the output must end in .bmp, .jpg, .tif, .png or .fit");

    CliHost host(err);
    host.Force = force;
    // The FITS writer asks about each file it replaces; the others write without asking.
    const bool fits = ext == ".fit" || ext == ".fits";
    GuardOutputs(FilesRead({in.string()}), {{"OUT", outPath, fits, false}}, host);
    Session s(host);
    Workspace& ws = s.ws;
    AnyPicture picture = ReadAnyPicture(in, frame, stretch);
    TTIFFBitMap& image = picture.Image;

    std::vector<std::string> written{outPath.string()};
    if (ext == ".bmp") {
        WriteBmp24(outPath, image.Picture);
    } else if (ext == ".jpg" || ext == ".jpeg") {
        WriteJpeg(outPath, image.Picture);
    } else if (ext == ".tif" || ext == ".tiff") {
        SaveToFile(image, outPath);
    } else if (ext == ".png") {
        if (picture.EightBit) WritePng(outPath, image.Picture);
        else WritePng16(outPath, image, image.Width(), image.Height());
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
    // Said only when the reader had to change something (floats rescaled, alpha dropped, ...).
    if (picture.Decoding.find(" (") != std::string::npos) out << in.string() << ": " << picture.Decoding << "\n";
    for (const auto& w : written) out << "wrote " << w << "\n";
    return 0;
}

}  // namespace talvenor
