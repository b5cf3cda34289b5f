// Frames per second reading a 2000-frame 640 x 480 SER capture with the program's SER reader
// (an 8-bit RGGB mosaic and a 16-bit grey capture), next to the rate of merely reading the
// file's bytes frame by frame: to raw samples, to the 24-bit picture, and for the mosaic
// demosaiced by each method, as a 24-bit picture and as full-precision samples. The captures are written once by the capture generator into a
// temporary folder (its speed is reported too) and removed afterwards. Every pass reads the
// file from the page cache: the median of three passes after one warm-up pass.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench_util.h"
#include "capture/capture.h"
#include "capture/ser_writer.h"
#include "input/debayer.h"
#include "input/ser_file.h"
#include "input/ser_video.h"

using namespace talvenor;
namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 3;

double Seconds(const std::function<void()>& fn) {
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Reads every frame's bytes in frame-sized chunks, one after another: the limit any reader
// of the file is measured against.
void ReadFrameChunks(const fs::path& file, std::size_t frameBytes, int64_t frames) {
    static std::vector<char> chunk;
    chunk.resize(frameBytes);
    std::ifstream in(file, std::ios::binary);
    in.seekg(std::streamoff(kSerHeaderSize));
    for (int64_t i = 0; i < frames; ++i)
        if (!in.read(chunk.data(), std::streamsize(chunk.size()))) {
            std::fprintf(stderr, "bench_ser: %s ends before frame %lld\n", file.string().c_str(), (long long)i);
            std::exit(1);
        }
}

void PrintRow(const char* name, int64_t frames, double mb, double seconds, double byteSeconds) {
    std::printf("  %-36s %9.0f %9.0f %8.1f%%\n", name, double(frames) / seconds, mb / seconds,
                100.0 * byteSeconds / seconds);
}

capture::CaptureOptions Options(capture::CaptureFormat format, int depth, int frames) {
    capture::CaptureOptions o;
    o.format = format;
    o.bitDepth = depth;
    o.frames = frames;
    o.colour = true;
    o.writeTruth = false;
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (frames < 1) {
        std::fprintf(stderr, "usage: bench_ser [FRAMES]\n");
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / "talvenor-bench-ser";
    fs::create_directories(dir);

    std::printf("SER capture generation, %d frames of 640 x 480\n", frames);
    struct Kind {
        const char* name;
        capture::CaptureFormat format;
        int depth;
        fs::path file;
    } kinds[] = {{"8-bit RGGB mosaic", capture::CaptureFormat::SerBayer, 8, dir / "bayer8.ser"},
                 {"16-bit grey", capture::CaptureFormat::SerMono, 16, dir / "mono16.ser"}};
    for (const Kind& k : kinds) {
        const capture::CaptureSummary s = capture::WriteCapture(k.file, Options(k.format, k.depth, frames));
        std::printf("  %-20s generator %7.0f frames/s (%5.1f s, %6.0f MB)\n", k.name, frames / s.seconds, s.seconds,
                    double(s.bytes) / 1e6);
    }
    {
        // The writer alone, one rendered frame over and over: what the SER output adds to
        // the rendering.
        capture::CaptureOptions o = Options(capture::CaptureFormat::SerBayer, 8, 1);
        capture::CaptureGenerator gen(o);
        capture::FloatImage frame;
        gen.RenderFloat(0, frame);
        for (const Kind& k : kinds) {
            capture::SerWriterOptions wo;
            wo.width = o.width;
            wo.height = o.height;
            wo.colour = k.format == capture::CaptureFormat::SerMono ? SerColour::Mono : SerColour::BayerRggb;
            wo.depth = k.depth;
            const fs::path file = dir / "writer.ser";
            const double s = Seconds([&] {
                capture::SerWriter writer(file, wo);
                for (int i = 0; i < frames; ++i) writer.AddFrame(frame, i);
                writer.Close();
            });
            std::printf("  %-20s writer alone %7.0f frames/s\n", k.name, frames / s);
            fs::remove(file);
        }
    }

    std::printf("\nSER reading, %d frames of 640 x 480, median of %d passes from the page cache\n", frames, kRuns);
    std::printf("  %-36s %9s %9s %9s\n", "", "frames/s", "MB/s", "of bytes");
    for (const Kind& k : kinds) {
        SerFile ser(k.file);
        const int64_t n = ser.FrameCount();
        const std::size_t frameBytes = std::size_t(ser.Header().FrameBytes());
        const double mb = double(frameBytes) * double(n) / 1e6;
        std::printf("%s (%s, %d bits, %s byte order)\n", k.name, SerColourName(ser.Colour()), ser.PixelDepth(),
                    ser.SamplesLittleEndian() ? "little-endian" : "big-endian");

        const double bytes = bench::SecondsPerCall([&] { ReadFrameChunks(k.file, frameBytes, n); }, kRuns);
        PrintRow("read bytes, frame-sized chunks", n, mb, bytes, bytes);

        std::vector<uint16_t> samples;
        const double toSamples = bench::SecondsPerCall([&] {
            for (int64_t i = 0; i < n; ++i) ser.ReadFrame(i, samples);
        }, kRuns);
        PrintRow("ReadFrame to samples", n, mb, toSamples, bytes);

        Bitmap24 picture;
        const double toPicture = bench::SecondsPerCall([&] {
            for (int64_t i = 0; i < n; ++i) ser.ReadFrame(i, picture);
        }, kRuns);
        PrintRow("ReadFrame to 24-bit picture", n, mb, toPicture, bytes);

        // What the program's frame loops receive: SerVideo as the Input page's boxes set it
        // (demosaiced mosaics; 16-bit samples kept beside the picture).
        {
            Workspace ws;
            const bool mosaic = ser.Colour() == SerColour::BayerRggb;
            for (DebayerMethod method : {DebayerMethod::Bilinear, DebayerMethod::Edge}) {
                if (!mosaic && method == DebayerMethod::Edge) break;
                MosaicChoice choice;
                choice.method = method;
                SerVideo video(ws, choice, k.file);
                const double decoded = bench::SecondsPerCall([&] {
                    for (int64_t i = 0; i < n; ++i) video.DecodeFrame(i, picture);
                }, kRuns);
                const std::string name = std::string("program's frame decoding") + (mosaic ? std::string(", ") + DebayerMethodName(method) : "");
                PrintRow(name.c_str(), n, mb, decoded, bytes);
            }
        }

        if (ser.Colour() != SerColour::BayerRggb) continue;
        // Both forms the frame loops use: the 24-bit picture demosaiced in place, and the
        // samples demosaiced at full precision (the path of frames of more than 8 bits).
        std::vector<uint16_t> rgb(3 * samples.size());
        for (DebayerMethod method : {DebayerMethod::Bilinear, DebayerMethod::Edge}) {
            const std::string name = DebayerMethodName(method);
            const double toColour = bench::SecondsPerCall([&] {
                for (int64_t i = 0; i < n; ++i) {
                    ser.ReadFrame(i, picture);
                    Debayer(picture, BayerPattern::Rggb, method);
                }
            }, kRuns);
            PrintRow(("ReadFrame + " + name + " demosaic").c_str(), n, mb, toColour, bytes);
            const double toSamples = bench::SecondsPerCall([&] {
                for (int64_t i = 0; i < n; ++i) {
                    ser.ReadFrame(i, samples);
                    DebayerSamples(samples.data(), ser.Width(), ser.Height(), BayerPattern::Rggb, method, rgb.data());
                }
            }, kRuns);
            PrintRow(("samples + " + name + " DebayerSamples").c_str(), n, mb, toSamples, bytes);
        }
    }
    std::printf("  (target: reading, and reading with bilinear demosaicing, at least 50%% of the byte-read rate)\n");
    fs::remove_all(dir);
    return 0;
}
