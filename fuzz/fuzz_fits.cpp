// FITS files as the program reads them: a frame of a series (into FitsPlane and the current
// frame), the rows a dark frame or flat field is built from, and the headers `info` shows.
#include "harness.h"
#include "imagefiles/fits_file.h"
#include "workspace/scripted_host.h"
#include "workspace/workspace.h"

using namespace talvenor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    // "_L" makes the file a luminance frame, the channel that also sets the LRGB boxes.
    static fuzz::InputFile file("frame_L.fit");
    const std::filesystem::path& path = file.Write(bytes);
    {
        Workspace ws;
        Controls& form = fuzz::Form();
        ScriptedHost host;
        ws.StretchFitsLevels = size % 2 == 0;  // both level modes of a FITS series
        fuzz::Refusable(file.Name(), [&] { ReadFitsFrame(ws, form, host, path); });
    }
    fuzz::Refusable(file.Name(), [&] { ProbeFits(path); });
    fuzz::Refusable("dark.fit", [&] {
        FitsFile dark;
        dark.Path = "dark.fit";
        dark.Bytes.assign(bytes.begin(), bytes.end());
        dark.Header = ParseFitsHeader(dark.Bytes, dark.Name());
        uint64_t sum = 0;
        ReadFitsRows(dark, kMaxImageSide, kMaxImageSide, [&](int, int, int64_t v) { sum += uint64_t(v); });
        if (sum == 1) std::fputc(' ', stderr);  // keeps the loop from being optimised away
    });
    return 0;
}
