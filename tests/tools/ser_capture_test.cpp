// SER captures from the generator, read back with the program's own SER reader: the header,
// the frame count, the layout and the depth come out as asked, every sample is the frame the
// generator rendered (8 bits exactly Frame8, 16 bits the float frame to half an ADU, the
// Bayer mosaic the right channel at each pixel), the trailer holds one timestamp per frame,
// and a faint 16-bit capture keeps the detail its 8-bit rendering loses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/ser_writer.h"
#include "input/ser_file.h"
#include "support/temp_dir.h"
#include "workspace/error.h"

namespace {

namespace fs = std::filesystem;
using namespace talvenor::capture;
using talvenor::Bitmap24;
using talvenor::SerColour;
using talvenor::SerFile;
using talvenor::testing::TempDir;

CaptureOptions Small(CaptureFormat format, int depth) {
    CaptureOptions o;
    o.format = format;
    o.bitDepth = depth;
    o.width = 40;
    o.height = 30;
    o.frames = 3;
    o.colour = true;
    o.fps = 25;
    o.seed = 7;
    return o;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The RGGB filter by hand: red on even rows and columns, blue on odd ones, green between.
int RggbChannel(int x, int y) { return (x % 2 == 0 && y % 2 == 0) ? 0 : (x % 2 == 1 && y % 2 == 1) ? 2 : 1; }

// Channel c of a Bitmap24 pixel (0 red, 1 green, 2 blue).
uint8_t Channel8(const Bitmap24& picture, int x, int y, int c) { return picture.Row(y)[3 * x + (2 - c)]; }

struct LayoutCase {
    CaptureFormat format;
    int depth;
    SerColour colour;
    int colorId;
    int planes;
};

const LayoutCase kLayouts[] = {
    {CaptureFormat::SerMono, 8, SerColour::Mono, 0, 1},    {CaptureFormat::SerMono, 16, SerColour::Mono, 0, 1},
    {CaptureFormat::SerRgb, 8, SerColour::Rgb, 100, 3},    {CaptureFormat::SerRgb, 16, SerColour::Rgb, 100, 3},
    {CaptureFormat::SerBayer, 8, SerColour::BayerRggb, 8, 1}, {CaptureFormat::SerBayer, 16, SerColour::BayerRggb, 8, 1},
};

TEST(SerCapture, EveryLayoutReadsBackAsTheGeneratorRenderedIt) {
    for (const LayoutCase& lc : kLayouts) {
        SCOPED_TRACE(CaptureFormatName(lc.format) + " " + std::to_string(lc.depth) + "-bit");
        TempDir dir;
        const CaptureOptions o = Small(lc.format, lc.depth);
        const fs::path file = dir / "cap.ser";
        const CaptureSummary summary = WriteCapture(file, o);
        EXPECT_EQ(summary.bytes, fs::file_size(file));
        EXPECT_TRUE(fs::exists(dir / "truth.csv"));

        SerFile ser(file);
        const auto& h = ser.Header();
        EXPECT_EQ(h.ColorId, lc.colorId);
        EXPECT_EQ(ser.Colour(), lc.colour);
        EXPECT_EQ(ser.Width(), o.width);
        EXPECT_EQ(ser.Height(), o.height);
        EXPECT_EQ(ser.PixelDepth(), lc.depth);
        EXPECT_EQ(h.FrameCount, o.frames);
        EXPECT_EQ(ser.FrameCount(), o.frames);
        EXPECT_EQ(ser.Warning(), "");
        EXPECT_TRUE(ser.SamplesLittleEndian());
        EXPECT_TRUE(ser.FlagAgrees());
        EXPECT_EQ(h.DateTimeUtc, kSerEpoch2024);
        // 25 frames per second: 400000 ticks of 100 ns apart, and nothing after the trailer.
        ASSERT_TRUE(ser.HasTimestamps());
        ASSERT_EQ(ser.Timestamps().size(), std::size_t(o.frames));
        for (int k = 0; k < o.frames; ++k) EXPECT_EQ(ser.Timestamps()[std::size_t(k)], kSerEpoch2024 + 400000LL * k);
        EXPECT_EQ(fs::file_size(file),
                  talvenor::kSerHeaderSize + std::size_t(o.frames) * (h.FrameBytes() + 8));

        CaptureGenerator gen(o);
        std::vector<uint16_t> samples;
        FloatImage frame;
        for (int k = 0; k < o.frames; ++k) {
            ser.ReadFrame(k, samples);
            ASSERT_EQ(samples.size(), std::size_t(o.width * o.height * lc.planes));
            const Bitmap24 f8 = gen.Frame8(k);
            gen.RenderFloat(k, frame);
            ASSERT_EQ(frame.channels, lc.colour == SerColour::Mono ? 1 : 3);
            for (int y = 0; y < o.height; ++y)
                for (int x = 0; x < o.width; ++x)
                    for (int p = 0; p < lc.planes; ++p) {
                        const int c = lc.colour == SerColour::Rgb         ? p
                                      : lc.colour == SerColour::BayerRggb ? RggbChannel(x, y)
                                                                          : 0;
                        const uint16_t s = samples[std::size_t((y * o.width + x) * lc.planes + p)];
                        if (lc.depth == 8) {
                            ASSERT_EQ(s, Channel8(f8, x, y, lc.colour == SerColour::Mono ? 1 : c))
                                << "frame " << k << " at " << x << "," << y << " plane " << p;
                        } else {
                            const float v = frame.Plane(c)[y * o.width + x];
                            const double want = std::clamp(double(v) * 65535.0, 0.0, 65535.0);
                            ASSERT_NEAR(s, want, 0.51) << "frame " << k << " at " << x << "," << y << " plane " << p;
                        }
                    }
        }
    }
}

TEST(SerCapture, SameOptionsWriteTheSameBytes) {
    TempDir dir;
    const CaptureOptions o = Small(CaptureFormat::SerBayer, 16);
    WriteCapture(dir / "a.ser", o);
    WriteCapture(dir / "b.ser", o);
    EXPECT_EQ(ReadAll(dir / "a.ser"), ReadAll(dir / "b.ser"));
}

TEST(SerCapture, SixteenBitSamplesAreNotEightBitOnesWidened) {
    TempDir dir;
    CaptureOptions o = Small(CaptureFormat::SerMono, 16);
    o.frames = 1;
    WriteCapture(dir / "cap.ser", o);
    SerFile ser(dir / "cap.ser");
    std::vector<uint16_t> samples;
    ser.ReadFrame(0, samples);
    // 8-bit data widened to 16 bits would be multiples of 257 (or of 256): at most 256 values.
    std::set<uint16_t> distinct(samples.begin(), samples.end());
    EXPECT_GT(distinct.size(), 256u);
    const auto widened = std::count_if(samples.begin(), samples.end(), [](uint16_t s) { return s % 257 == 0; });
    EXPECT_LT(widened, long(samples.size() / 10));
}

// Mean absolute difference between the average of a capture's frames (in 16-bit ADU) and the
// noise-free frame.
double StackError(const fs::path& file, const std::vector<double>& clean) {
    SerFile ser(file);
    const double toAdu16 = ser.PixelDepth() == 8 ? 257.0 : 1.0;
    std::vector<double> sum(clean.size(), 0.0);
    std::vector<uint16_t> samples;
    for (int64_t k = 0; k < ser.FrameCount(); ++k) {
        ser.ReadFrame(k, samples);
        for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += samples[i];
    }
    double error = 0;
    for (std::size_t i = 0; i < sum.size(); ++i)
        error += std::fabs(sum[i] / double(ser.FrameCount()) * toAdu16 - clean[i]);
    return error / double(sum.size());
}

TEST(SerCapture, FaintSixteenBitCaptureKeepsWhatEightBitsLose) {
    TempDir dir;
    // The same frame 16 times over (no motion, one seeing), bright parts near 600 ADU of
    // 65535: 8 bits see two or three levels, and noise far below one level cannot dither them.
    CaptureOptions o;
    o.format = CaptureFormat::SerMono;
    o.width = 64;
    o.height = 48;
    o.frames = 16;
    o.jitter = 0;
    o.driftX = o.driftY = 0;
    o.blurMin = o.blurMax = 1.0;
    o.fullScale = 600;
    o.bitDepth = 8;
    WriteCapture(dir / "faint8.ser", o);
    o.bitDepth = 16;
    WriteCapture(dir / "faint16.ser", o);

    std::vector<uint16_t> samples;
    SerFile ser8(dir / "faint8.ser"), ser16(dir / "faint16.ser");
    ser8.ReadFrame(0, samples);
    EXPECT_LE(std::set<uint16_t>(samples.begin(), samples.end()).size(), 4u);
    ser16.ReadFrame(0, samples);
    EXPECT_GT(std::set<uint16_t>(samples.begin(), samples.end()).size(), 100u);
    const uint16_t peak = *std::max_element(samples.begin(), samples.end());
    EXPECT_GT(peak, 300);
    EXPECT_LT(peak, 660);

    CaptureOptions quiet = o;
    quiet.noise = 0;
    CaptureGenerator clean(quiet);
    FloatImage frame;
    clean.RenderFloat(0, frame);
    std::vector<double> truth(frame.data.begin(), frame.data.end());
    for (double& v : truth) v *= 65535.0;

    const double error8 = StackError(dir / "faint8.ser", truth), error16 = StackError(dir / "faint16.ser", truth);
    EXPECT_LT(error16, 2.0);
    EXPECT_GT(error8, 10 * error16) << "8-bit " << error8 << " ADU, 16-bit " << error16 << " ADU";
}

TEST(SerCapture, FormatNamesAndOptionChecks) {
    for (CaptureFormat f : {CaptureFormat::SerMono, CaptureFormat::SerRgb, CaptureFormat::SerBayer}) {
        EXPECT_TRUE(IsSer(f));
        EXPECT_FALSE(IsAvi(f));
        EXPECT_EQ(ParseCaptureFormat(CaptureFormatName(f)), f);
    }
    EXPECT_EQ(ParseCaptureFormat("SER-Grey"), CaptureFormat::SerMono);
    EXPECT_EQ(ParseCaptureFormat("ser-rggb"), CaptureFormat::SerBayer);
    EXPECT_FALSE(ParseCaptureFormat("ser"));

    auto rejects = [](CaptureOptions o) {
        EXPECT_THROW(CheckOptions(o), talvenor::Error);
    };
    CaptureOptions o = Small(CaptureFormat::SerMono, 12);
    rejects(o);
    o = Small(CaptureFormat::AviRgb, 16);  // 16 bits only where the format holds them
    rejects(o);
    o = Small(CaptureFormat::SerMono, 16);
    o.fullScale = 0.5;
    rejects(o);
    o.fullScale = 70000;
    rejects(o);
    o.fullScale = 600;
    EXPECT_NO_THROW(CheckOptions(o));
    o.dropped = {1};  // a SER file has no empty frames
    rejects(o);
}

TEST(SerCapture, WriterRefusesFramesOfTheWrongSize) {
    TempDir dir;
    SerWriterOptions wo;
    wo.width = 4;
    wo.height = 2;
    wo.colour = SerColour::Rgb;
    SerWriter writer(dir / "w.ser", wo);
    EXPECT_THROW(writer.AddSamples(std::vector<uint16_t>(8), 0), talvenor::Error);
    writer.AddSamples(std::vector<uint16_t>(24, 9), 5);
    writer.Close();
    EXPECT_THROW(writer.AddSamples(std::vector<uint16_t>(24), 0), talvenor::Error);
    SerFile ser(dir / "w.ser");
    EXPECT_EQ(ser.FrameCount(), 1);
    EXPECT_EQ(ser.Timestamps(), std::vector<int64_t>{5});
}

}  // namespace
