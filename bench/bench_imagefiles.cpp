// Decode time per frame of a 640 x 480 frame in each still format the program reads,
// next to the time it takes merely to read the file's bytes: the limit a decoder is
// measured against. The files are made by the capture generator in a temporary folder.
#include <cstdio>
#include <filesystem>

#include "bench_util.h"
#include "capture/capture.h"
#include "capture/series_writer.h"
#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/tiff_file.h"
#include "workspace/controls.h"
#include "workspace/file_bytes.h"
#include "workspace/scripted_host.h"
#include "workspace/workspace.h"

using namespace talvenor;
namespace fs = std::filesystem;

int main() {
    const fs::path dir = fs::temp_directory_path() / "talvenor-bench-imagefiles";
    fs::create_directories(dir);
    constexpr int kRuns = 200;

    capture::CaptureOptions options;
    options.frames = 1;
    options.colour = true;
    capture::CaptureGenerator generator(options);
    const Bitmap24 frame = generator.Frame8(0);
    std::vector<uint16_t> grey(std::size_t(frame.Width()) * frame.Height());
    for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < frame.Width(); ++x) grey[std::size_t(y) * frame.Width() + x] = uint16_t(frame.Row(y)[3 * x + 1] * 257);

    const fs::path bmp = dir / "frame.bmp", jpg = dir / "frame.jpg", fit = dir / "frame.fit", tif = dir / "frame.tif";
    WriteBmp24(bmp, frame);
    WriteJpeg(jpg, frame);
    capture::WriteWholeFile(fit, capture::EncodeFits16(frame.Width(), frame.Height(), grey));
    capture::WriteWholeFile(tif, capture::EncodeTiff16(frame.Width(), frame.Height(), 1, grey));

    Workspace ws;
    Controls form;
    ScriptedHost host;
    std::vector<uint8_t> bytes;
    Bitmap24 picture;
    TTIFFBitMap tiff;

    std::printf("Still-image decoding, 640 x 480, median of %d runs (file in the page cache)\n", kRuns);
    struct Row {
        const char* name;
        fs::path file;
        std::function<void()> decode;
    } rows[] = {
        {"BMP 24-bit", bmp, [&] { ReadFileBytes(bmp, bytes); DecodeBmp(bytes, bmp.string(), picture); }},
        {"JPEG (quality 75)", jpg, [&] { ReadFileBytes(jpg, bytes); DecodeJpeg(bytes, jpg.string(), picture); }},
        {"FITS 16-bit", fit, [&] { ReadFitsFrame(ws, form, host, fit); }},
        {"TIFF 16-bit grey", tif, [&] { LoadFromFile(tiff, tif); }},
    };
    for (const Row& r : rows) {
        const double read = bench::SecondsPerCall([&] { bench::ReadBytes(r.file); }, kRuns);
        const double decode = bench::SecondsPerCall(r.decode, kRuns);
        bench::PrintRow(r.name, decode, read);
    }
    std::printf("  (target for the uncompressed formats: within 2x of reading the bytes)\n");
    fs::remove_all(dir);
    return 0;
}
