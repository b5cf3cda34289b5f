// The synthetic capture generator is the yardstick of registration and stacking tests, so
// its own truth must hold: the same seed gives the same bytes, the shifts in truth.csv are
// the shifts in the pixels, more blur means less fine detail, and other programs (ffmpeg,
// astropy, ImageMagick) read what it writes as the frames it rendered.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "capture/avi_writer.h"
#include "capture/capture.h"
#include "capture/series_writer.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"
#include "workspace/error.h"

namespace {

namespace fs = std::filesystem;
using namespace talvenor::capture;
using talvenor::Bitmap24;
using talvenor::testing::TempDir;

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

// Standard output of a shell command, as bytes.
std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> f;
    std::istringstream in(line);
    for (std::string part; std::getline(in, part, ',');) f.push_back(part);
    return f;
}

// key=value lines of `ffprobe -of default=noprint_wrappers=1`.
std::map<std::string, std::string> KeyValues(const std::string& text) {
    std::map<std::string, std::string> kv;
    for (const std::string& line : Lines(text))
        if (const auto eq = line.find('='); eq != std::string::npos) kv[line.substr(0, eq)] = line.substr(eq + 1);
    return kv;
}

fs::path CapturePath(const fs::path& dir, CaptureFormat format) {
    return IsAvi(format) ? dir / "cap.avi" : dir / "cap";
}

std::string Extension(CaptureFormat format) {
    switch (format) {
        case CaptureFormat::Jpeg: return "jpg";
        case CaptureFormat::Fits: return "fit";
        case CaptureFormat::Tiff: return "tif";
        default: return "bmp";
    }
}

// Red, green, blue bytes of a picture, as ffmpeg's rgb24 output gives them.
std::string Rgb(const Bitmap24& b) {
    std::string out;
    out.reserve(std::size_t(b.Width()) * b.Height() * 3);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const auto p = b.Pixel(x, y);
            out += char(p.r);
            out += char(p.g);
            out += char(p.b);
        }
    return out;
}

TEST(CaptureGenerator, SameSeedGivesTheSameBytesAndAnotherSeedOthers) {
    struct Case {
        CaptureFormat format;
        SceneMode mode;
        bool colour;
    };
    const Case cases[] = {
        {CaptureFormat::AviRgb, SceneMode::Planet, true}, {CaptureFormat::AviGrey, SceneMode::Moon, false},
        {CaptureFormat::AviMjpeg, SceneMode::Sun, true},  {CaptureFormat::Bmp, SceneMode::Planet, false},
        {CaptureFormat::Jpeg, SceneMode::Moon, true},     {CaptureFormat::Fits, SceneMode::Sun, false},
        {CaptureFormat::Tiff, SceneMode::Planet, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CaptureFormatName(c.format) + " " + SceneModeName(c.mode));
        CaptureOptions o;
        o.format = c.format;
        o.mode = c.mode;
        o.colour = c.colour;
        o.frames = 4;
        o.width = 48;
        o.height = 40;
        o.seed = 7;
        if (IsAvi(c.format)) o.dropped = {2};
        TempDir tmp;
        WriteCapture(CapturePath(tmp / "a", c.format), o);
        WriteCapture(CapturePath(tmp / "b", c.format), o);
        o.seed = 8;
        WriteCapture(CapturePath(tmp / "c", c.format), o);

        int files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(tmp / "a")) {
            if (!entry.is_regular_file()) continue;
            ++files;
            const fs::path rel = fs::relative(entry.path(), tmp / "a");
            EXPECT_TRUE(ReadAll(entry.path()) == ReadAll(tmp / "b" / rel)) << rel;
        }
        EXPECT_EQ(files, IsAvi(c.format) ? 4 : 4 + 3);  // the capture, truth.csv, .bmp, .tif
        const fs::path first =
            IsAvi(c.format) ? fs::path("cap.avi") : fs::path("cap") / ("capture_00001." + Extension(c.format));
        ASSERT_TRUE(fs::exists(tmp / "a" / first)) << first;
        EXPECT_FALSE(ReadAll(tmp / "a" / first) == ReadAll(tmp / "c" / first));
        const fs::path csv = IsAvi(c.format) ? fs::path("truth.csv") : fs::path("cap") / "truth.csv";
        EXPECT_FALSE(ReadAll(tmp / "a" / csv) == ReadAll(tmp / "c" / csv));
    }
}

TEST(CaptureGenerator, ShiftsInTruthCsvAreTheShiftsOfThePlanetDisc) {
    CaptureOptions o;
    o.frames = 16;
    o.width = 160;
    o.height = 120;
    o.noise = 0;
    o.driftX = 0.4;
    o.driftY = -0.25;
    o.seed = 3;
    TempDir tmp;
    WriteCapture(tmp / "cap.avi", o);
    const auto rows = Lines(ReadAll(tmp / "truth.csv"));
    ASSERT_EQ(rows.size(), 17u);
    EXPECT_EQ(rows[0], "frame,dx,dy,sigma,dropped");
    EXPECT_EQ(rows[1], "0,0.0000,0.0000," + Fields(rows[1])[3] + ",0");

    // Centroid of the light above the sky level: blur keeps it, a shift moves it.
    CaptureGenerator gen(o);
    auto centroid = [&](int k) {
        const Bitmap24 f = gen.Frame8(k);
        const int sky = f.Pixel(0, 0).g;
        double sum = 0, sx = 0, sy = 0;
        for (int y = 0; y < f.Height(); ++y)
            for (int x = 0; x < f.Width(); ++x) {
                const double w = f.Pixel(x, y).g - sky;
                sum += w;
                sx += w * x;
                sy += w * y;
            }
        return std::pair{sx / sum, sy / sum};
    };
    const auto [x0, y0] = centroid(0);
    double largest = 0;
    for (int k = 1; k < o.frames; ++k) {
        const auto f = Fields(rows[std::size_t(k) + 1]);
        ASSERT_EQ(f.size(), 5u);
        const double dx = std::stod(f[1]), dy = std::stod(f[2]);
        const auto [x, y] = centroid(k);
        EXPECT_NEAR(x - x0, dx, 0.2) << "frame " << k;
        EXPECT_NEAR(y - y0, dy, 0.2) << "frame " << k;
        largest = std::max({largest, std::fabs(dx), std::fabs(dy)});
    }
    EXPECT_GT(largest, 2.0);  // the jitter really moved the frames
}

// Without blur and noise the frames are the truth image moved by whole pixels, in the
// direction truth.csv states: frame k's pixel (x, y) is the truth's (x - dx, y - dy).
TEST(CaptureGenerator, SharpNoiseFreeFramesAreTheTruthMoved) {
    const std::string convert = talvenor::testing::FindTool("convert");
    TALVENOR_REQUIRE_TOOL(!convert.empty(), "ImageMagick's convert");
    for (SceneMode mode : {SceneMode::Planet, SceneMode::Moon}) {
        SCOPED_TRACE(SceneModeName(mode));
        CaptureOptions o;
        o.mode = mode;
        o.colour = true;
        o.frames = 4;
        o.width = 40;
        o.height = 32;
        o.noise = 0;
        o.jitter = 0;
        o.blurMin = o.blurMax = 0;
        o.driftX = 1;
        o.driftY = -2;
        TempDir tmp;
        WriteCapture(tmp / "cap.avi", o);
        const std::string truth = Shell(Quote(convert) + " " + Quote(tmp / "truth.bmp") + " rgb:-");
        ASSERT_EQ(truth.size(), 40u * 32 * 3);
        CaptureGenerator gen(o);
        for (int k = 0; k < o.frames; ++k) {
            const std::string frame = Rgb(gen.Frame8(k));
            int compared = 0;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 40; ++x) {
                    const int tx = x - k, ty = y + 2 * k;
                    if (tx < 0 || ty >= 32) continue;
                    ++compared;
                    ASSERT_EQ(frame.substr(3 * std::size_t(y * 40 + x), 3),
                              truth.substr(3 * std::size_t(ty * 40 + tx), 3))
                        << "frame " << k << " at " << x << "," << y;
                }
            EXPECT_GT(compared, 600);
        }
    }
}

TEST(CaptureGenerator, MoreBlurLeavesLessFineDetail) {
    CaptureOptions o;
    o.mode = SceneMode::Moon;
    o.frames = 24;
    o.width = 96;
    o.height = 72;
    o.noise = 0;
    o.jitter = 0.7;
    o.blurMin = 0.4;
    o.blurMax = 3.0;
    CaptureGenerator gen(o);
    // Mean squared Laplacian: the energy of the finest scales.
    auto fineEnergy = [&](int k) {
        FloatImage f;
        gen.RenderFloat(k, f);
        double e = 0;
        const float* p = f.Plane(0);
        for (int y = 8; y < f.height - 8; ++y)
            for (int x = 8; x < f.width - 8; ++x) {
                const std::size_t i = std::size_t(y) * f.width + x;
                const double lap = 4.0 * p[i] - p[i - 1] - p[i + 1] - p[i - f.width] - p[i + f.width];
                e += lap * lap;
            }
        return e;
    };
    std::vector<std::pair<double, double>> sigmaEnergy;
    for (int k = 0; k < o.frames; ++k) sigmaEnergy.push_back({gen.plan()[std::size_t(k)].sigma, fineEnergy(k)});
    std::sort(sigmaEnergy.begin(), sigmaEnergy.end());
    EXPECT_LT(sigmaEnergy.front().first, 1.4);  // seeing varies: some frames are much sharper
    EXPECT_GT(sigmaEnergy.back().first, 2.2);
    EXPECT_GT(sigmaEnergy.front().second, 4 * sigmaEnergy.back().second);
    for (std::size_t i = 0; i < sigmaEnergy.size(); ++i)
        for (std::size_t j = i + 1; j < sigmaEnergy.size(); ++j)
            if (sigmaEnergy[j].first > sigmaEnergy[i].first + 0.25) {
                EXPECT_LT(sigmaEnergy[j].second, sigmaEnergy[i].second)
                    << "sigma " << sigmaEnergy[i].first << " vs " << sigmaEnergy[j].first;
            }
}

TEST(CaptureGenerator, RejectsOptionsItCannotHonour) {
    struct Case {
        const char* what;
        void (*change)(CaptureOptions&);
    };
    const Case cases[] = {
        {"dropped frames in a series", [](CaptureOptions& o) { o.format = CaptureFormat::Bmp, o.dropped = {1}; }},
        {"dropped frame past the end", [](CaptureOptions& o) { o.dropped = {o.frames}; }},
        {"blur range reversed", [](CaptureOptions& o) { o.blurMin = 2, o.blurMax = 1; }},
        {"no frames", [](CaptureOptions& o) { o.frames = 0; }},
        {"tiny frame", [](CaptureOptions& o) { o.width = 4; }},
        {"negative noise", [](CaptureOptions& o) { o.noise = -1; }},
    };
    for (const Case& c : cases) {
        CaptureOptions o;
        o.frames = 5;
        c.change(o);
        EXPECT_THROW(CheckOptions(o), talvenor::Error) << c.what;
    }
}

// ffmpeg reads the raw AVIs we write, plain and OpenDML, as exactly the frames we rendered,
// and sees the dropped frames as the empty chunks they are: ffmpeg skips zero-length chunks
// but keeps counting time, so their timestamps are the gaps in the packet list.
// "-fflags +sortdts" makes ffmpeg fetch every packet through the index (idx1, or the
// super index and ix00 of each RIFF) instead of walking the chunks, so a wrong index entry
// shows up as a wrong frame.
TEST(AviCapture, FfmpegDecodesTheRenderedFramesAndSkipsTheDroppedOnes) {
    TALVENOR_REQUIRE_TOOL(!talvenor::testing::FindTool("ffprobe").empty() && !talvenor::testing::FindTool("ffmpeg").empty(),
                          "ffmpeg/ffprobe");
    struct Case {
        CaptureFormat format;
        bool colour;
        uint64_t riffLimit;
        const char* pixFmt;
    };
    const Case cases[] = {
        {CaptureFormat::AviRgb, true, uint64_t(1) << 30, "bgr24"},
        {CaptureFormat::AviGrey, false, uint64_t(1) << 30, "pal8"},
        {CaptureFormat::AviRgb, false, 20000, "bgr24"},  // OpenDML: a RIFF every two frames
        {CaptureFormat::AviGrey, true, 8000, "pal8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CaptureFormatName(c.format) + " riff limit " + std::to_string(c.riffLimit));
        CaptureOptions o;
        o.format = c.format;
        o.colour = c.colour;
        o.frames = 10;
        o.width = 61;  // odd: DIB rows carry padding
        o.height = 47;
        o.dropped = {2, 7};
        o.riffLimit = c.riffLimit;
        o.brightness = 0.1;
        TempDir tmp;
        const fs::path avi = tmp / "cap.avi";
        const CaptureSummary summary = WriteCapture(avi, o);
        EXPECT_EQ(summary.riffs > 1, c.riffLimit < 100000);

        const auto stream = KeyValues(Shell("ffprobe -v error -select_streams v:0 -show_entries "
                                          "stream=codec_name,width,height,pix_fmt,nb_frames -of "
                                          "default=noprint_wrappers=1 " + Quote(avi)));
        EXPECT_EQ(stream.at("codec_name"), "rawvideo");
        EXPECT_EQ(stream.at("width"), "61");
        EXPECT_EQ(stream.at("height"), "47");
        EXPECT_EQ(stream.at("pix_fmt"), c.pixFmt);
        EXPECT_EQ(stream.at("nb_frames"), "10");

        const std::string rawSize = std::to_string(c.format == CaptureFormat::AviGrey ? 64 * 47 : 184 * 47);
        std::string packets;
        for (const std::string& line : Lines(Shell("ffprobe -v error -fflags +sortdts -select_streams v:0 "
                                                   "-show_entries packet=pts,size -of csv=p=0 " + Quote(avi)))) {
            const auto f = Fields(line);
            ASSERT_EQ(f.size(), 2u) << line;
            EXPECT_EQ(f[1], rawSize);
            packets += f[0] + " ";
        }
        EXPECT_EQ(packets, "0 1 3 4 5 6 8 9 ");

        const std::string decoded = Shell("ffmpeg -v error -fflags +sortdts -i " + Quote(avi) +
                                          " -f rawvideo -pix_fmt rgb24 -fps_mode passthrough -");
        const std::size_t frameBytes = 61 * 47 * 3;
        ASSERT_EQ(decoded.size(), 8 * frameBytes);
        CaptureGenerator gen(o);
        std::size_t at = 0;
        for (int k = 0; k < o.frames; ++k) {
            if (k == 2 || k == 7) continue;
            EXPECT_TRUE(decoded.compare(at, frameBytes, Rgb(gen.Frame8(k))) == 0) << "frame " << k;
            at += frameBytes;
        }
        const auto csv = Lines(ReadAll(tmp / "truth.csv"));
        ASSERT_EQ(csv.size(), 11u);
        for (int k = 0; k < o.frames; ++k)
            EXPECT_EQ(Fields(csv[std::size_t(k) + 1])[4], k == 2 || k == 7 ? "1" : "0") << "frame " << k;
    }
}

TEST(AviCapture, FfmpegDecodesMjpegFramesCloseToTheRenderedOnes) {
    TALVENOR_REQUIRE_TOOL(!talvenor::testing::FindTool("ffprobe").empty() && !talvenor::testing::FindTool("ffmpeg").empty(),
                          "ffmpeg/ffprobe");
    CaptureOptions o;
    o.format = CaptureFormat::AviMjpeg;
    o.colour = true;
    o.frames = 6;
    o.width = 96;
    o.height = 64;
    o.dropped = {4};
    TempDir tmp;
    const fs::path avi = tmp / "cap.avi";
    WriteCapture(avi, o);
    const auto stream = KeyValues(Shell("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                                      "stream=codec_name,width,height,nb_frames,nb_read_packets -of "
                                      "default=noprint_wrappers=1 " + Quote(avi)));
    EXPECT_EQ(stream.at("codec_name"), "mjpeg");
    EXPECT_EQ(stream.at("width"), "96");
    EXPECT_EQ(stream.at("height"), "64");
    EXPECT_EQ(stream.at("nb_frames"), "6");
    EXPECT_EQ(stream.at("nb_read_packets"), "5");

    const std::string decoded =
        Shell("ffmpeg -v error -i " + Quote(avi) + " -f rawvideo -pix_fmt rgb24 -fps_mode passthrough -");
    const std::size_t frameBytes = 96 * 64 * 3;
    ASSERT_EQ(decoded.size(), 5 * frameBytes);
    CaptureGenerator gen(o);
    std::size_t at = 0;
    for (int k : {0, 1, 2, 3, 5}) {
        const std::string ours = Rgb(gen.Frame8(k));
        double diff = 0;
        for (std::size_t i = 0; i < frameBytes; ++i)
            diff += std::abs(int(uint8_t(decoded[at + i])) - int(uint8_t(ours[i])));
        EXPECT_LT(diff / double(frameBytes), 3.0) << "frame " << k;  // JPEG at quality 75
        at += frameBytes;
    }
}

// A capture over 1 GB must become OpenDML; ffprobe must find every frame through the
// super index and the per-RIFF standard indexes.
TEST(AviCapture, OpenDmlFileOverOneGigabyteHasEveryFrame) {
    TALVENOR_REQUIRE_TOOL(!talvenor::testing::FindTool("ffprobe").empty(), "ffprobe");
    TempDir tmp;
    const fs::path avi = tmp / "big.avi";
    AviWriterOptions ao;
    ao.width = 1280;
    ao.height = 720;
    ao.codec = AviCodec::Rgb24;
    const int frames = 420;  // 420 x 2.76 MB = 1.16 GB
    int riffs = 0;
    {
        AviWriter w(avi, ao);
        std::vector<uint8_t> frame(w.RawFrameBytes());
        for (int k = 0; k < frames; ++k) {
            if (k == 5 || k == 400) {
                w.AddDroppedFrame();
                continue;
            }
            std::fill(frame.begin(), frame.begin() + 64, uint8_t(k));
            w.AddEncodedFrame(frame);
        }
        w.Close();
        riffs = w.Riffs();
    }
    EXPECT_GT(fs::file_size(avi), uint64_t(1) << 30);
    EXPECT_EQ(riffs, 2);
    // One pass over the file through its indexes: the stream header and every packet.
    const std::string report = Shell("ffprobe -v error -fflags +sortdts -select_streams v:0 -show_entries "
                                   "stream=width,height,nb_frames:packet=pts -of default=noprint_wrappers=1 " +
                                   Quote(avi));
    std::map<std::string, std::string> stream;
    std::vector<int> pts;
    for (const std::string& line : Lines(report)) {
        if (line.rfind("pts=", 0) == 0)
            pts.push_back(std::stoi(line.substr(4)));
        else if (const auto eq = line.find('='); eq != std::string::npos)
            stream[line.substr(0, eq)] = line.substr(eq + 1);
    }
    EXPECT_EQ(stream["width"], "1280");
    EXPECT_EQ(stream["height"], "720");
    EXPECT_EQ(stream["nb_frames"], std::to_string(frames));
    std::vector<int> expected;
    for (int k = 0; k < frames; ++k)
        if (k != 5 && k != 400) expected.push_back(k);
    EXPECT_EQ(pts, expected);
    fs::remove(avi);
}

// FITS and TIFF frames come from our own small writers: astropy and ImageMagick must read
// back the very samples we rendered, top row first.
TEST(SeriesCapture, OtherProgramsReadTheSixteenBitFramesWeRendered) {
    struct Case {
        CaptureFormat format;
        bool colour;
    };
    const Case cases[] = {
        {CaptureFormat::Fits, true},  // a colour scene stored as its luminance
        {CaptureFormat::Tiff, false},
        {CaptureFormat::Tiff, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CaptureFormatName(c.format) + (c.colour ? " colour" : " grey"));
        // A missing reader drops its own case only; the other format is still checked.
        const bool fits = c.format == CaptureFormat::Fits;
        const std::string tool =
            fits ? talvenor::testing::FindPython({"astropy", "numpy"}) : talvenor::testing::FindTool("convert");
        if (tool.empty()) {
            talvenor::testing::ReportMissingToolForCase(fits ? "Python with astropy and numpy" : "ImageMagick's convert");
            continue;
        }
        CaptureOptions o;
        o.format = c.format;
        o.colour = c.colour;
        o.frames = 3;
        o.width = 40;
        o.height = 30;
        TempDir tmp;
        const fs::path dir = tmp / "series";
        WriteCapture(dir, o);
        CaptureGenerator gen(o);
        const bool grey = c.format == CaptureFormat::Fits || !c.colour;
        for (int k = 0; k < o.frames; ++k) {
            const fs::path file = dir / ("capture_0000" + std::to_string(k + 1) + "." + Extension(c.format));
            ASSERT_TRUE(fs::exists(file)) << file;
            const std::string theirs =
                c.format == CaptureFormat::Fits
                    ? Shell(Quote(tool) + " -c \"import sys, numpy; from astropy.io import fits; "
                            "data = numpy.flipud(fits.getdata(sys.argv[1])).astype('<u2'); "
                            "sys.stdout.buffer.write(data.tobytes())\" " + Quote(file))
                    : Shell(Quote(tool) + " " + Quote(file) + " -endian LSB -depth 16 " +
                            (grey ? "gray:-" : "rgb:-"));
            FloatImage f;
            gen.RenderFloat(k, f);
            std::vector<uint16_t> words;
            ToWords(f, grey, words);
            std::string ours;
            for (uint16_t w : words) {
                ours += char(w & 0xFF);
                ours += char(w >> 8);
            }
            EXPECT_EQ(theirs.size(), ours.size());
            EXPECT_TRUE(theirs == ours) << file;
        }
    }
}

}  // namespace
