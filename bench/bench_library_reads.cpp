// Read throughput of the series formats other programs write in many layouts and that go
// through the format libraries: a 16-bit 1920 x 1080 TIFF (Deflate), a 16-bit PNG and a
// 32-bit floating-point FITS, in frames per second, next to the rate at which the same files'
// bytes are merely read. Each series is 30 different frames in a temporary folder.
#include <tiffio.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "bench_util.h"
#include "capture/capture.h"
#include "imagefiles/decoded_image.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "workspace/controls.h"
#include "workspace/scripted_host.h"
#include "workspace/workspace.h"

using namespace talvenor;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kFrames = 30;

void WriteDeflateTiff(const fs::path& file, const std::vector<uint16_t>& grey) {
    TIFF* t = TIFFOpen(file.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    for (int y = 0; y < kHeight; ++y)
        TIFFWriteScanline(t, const_cast<uint16_t*>(grey.data() + std::size_t(y) * kWidth), uint32_t(y), 0);
    TIFFClose(t);
}

// BITPIX -32, values 0..1, rows bottom-up as FITS stores them.
void WriteFloatFits(const fs::path& file, const std::vector<uint16_t>& grey) {
    std::string header;
    auto card = [&](const std::string& text) { header += text + std::string(80 - text.size(), ' '); };
    card("SIMPLE  =                    T");
    card("BITPIX  =                  -32");
    card("NAXIS   =                    2");
    card("NAXIS1  =                 " + std::to_string(kWidth));
    card("NAXIS2  =                 " + std::to_string(kHeight));
    card("END");
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    std::vector<uint8_t> data(std::size_t(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const float v = grey[std::size_t(kHeight - 1 - y) * kWidth + x] / 65535.0f;
            uint32_t bits;
            std::memcpy(&bits, &v, 4);
            uint8_t* p = data.data() + (std::size_t(y) * kWidth + x) * 4;
            p[0] = uint8_t(bits >> 24), p[1] = uint8_t(bits >> 16), p[2] = uint8_t(bits >> 8), p[3] = uint8_t(bits);
        }
    data.resize((data.size() + 2879) / 2880 * 2880, 0);
    std::ofstream out(file, std::ios::binary);
    out.write(header.data(), std::streamsize(header.size()));
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

double Seconds(const std::function<void()>& fn) {
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "talvenor-bench-library-reads";
    fs::remove_all(dir);
    fs::create_directories(dir);

    capture::CaptureOptions options;
    options.frames = kFrames;
    options.width = kWidth;
    options.height = kHeight;
    capture::CaptureGenerator generator(options);
    std::vector<fs::path> tiffs, pngs, fits;
    for (int i = 0; i < kFrames; ++i) {
        const Bitmap24 frame = generator.Frame8(i);
        std::vector<uint16_t> grey(std::size_t(kWidth) * kHeight);
        TTIFFBitMap wide;
        wide.CreateWide(kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                // 16-bit data with its low bits in use, as a stack of a camera's 12-bit output has.
                const uint16_t v = uint16_t(frame.Row(y)[3 * x + 1] * 257 + (x * 7 + y * 13) % 200);
                grey[std::size_t(y) * kWidth + x] = v;
                for (int c = 0; c < 3; ++c) wide.SetSample(x, y, c, v);
            }
        const std::string stem = "frame_" + std::to_string(i);
        tiffs.push_back(dir / (stem + ".tif"));
        pngs.push_back(dir / (stem + ".png"));
        fits.push_back(dir / (stem + ".fit"));
        WriteDeflateTiff(tiffs.back(), grey);
        WritePng16(pngs.back(), wide, kWidth, kHeight);
        WriteFloatFits(fits.back(), grey);
    }

    Workspace ws;
    Controls form;
    ScriptedHost host;
    TTIFFBitMap image;
    std::printf("Library-read series, %d frames of %d x %d (files in the page cache)\n", kFrames, kWidth, kHeight);
    struct Row {
        const char* name;
        const std::vector<fs::path>& files;
        std::function<void(const fs::path&)> read;
    } rows[] = {
        {"TIFF 16-bit grey, Deflate", tiffs, [&](const fs::path& f) { LoadFromFile(image, f); }},
        {"PNG 16-bit RGB", pngs, [&](const fs::path& f) { ToWideBitmap(ReadPng(f), image); }},
        {"FITS -32 (floats)", fits, [&](const fs::path& f) { ReadFitsFrame(ws, form, host, f); }},
    };
    for (const Row& r : rows) {
        std::uintmax_t bytes = 0;
        for (const fs::path& f : r.files) bytes += fs::file_size(f);
        for (const fs::path& f : r.files) bench::ReadBytes(f);  // into the page cache
        const double read = Seconds([&] { for (const fs::path& f : r.files) bench::ReadBytes(f); });
        const double decode = Seconds([&] { for (const fs::path& f : r.files) r.read(f); });
        std::printf("  %-28s %7.1f frames/s   reading the bytes alone %7.1f frames/s   (%.1f MB a frame)\n", r.name,
                    kFrames / decode, kFrames / read, double(bytes) / kFrames / 1e6);
    }
    fs::remove_all(dir);
    return 0;
}
