// The evaluation is the yardstick of stacking quality, so it must itself be right: the truth
// scores perfectly, a moved or rescaled truth registers back, blur and lost colour cost
// PSNR, rank correlation gives the textbook values, and the oracle stack beats any single
// frame when noise dominates. Everything runs on small generated captures.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/evaluate.h"
#include "capture/image_reading.h"
#include "capture/image_shift.h"
#include "capture/series_writer.h"
#include "support/temp_dir.h"
#include "workspace/error.h"

namespace {

namespace fs = std::filesystem;
using namespace talvenor::capture;
using talvenor::testing::TempDir;

// A small colour planet with a plan of one unmoved frame.
GroundTruth SmallTruth(bool colour, SceneMode mode = SceneMode::Planet) {
    CaptureOptions o;
    o.width = 160;
    o.height = 120;
    o.frames = 1;
    o.colour = colour;
    o.mode = mode;
    CaptureGenerator gen(o);
    GroundTruth t;
    gen.RenderTruth(t.image);
    t.frames = gen.plan();
    return t;
}

FloatImage Blurred(const FloatImage& im, double sigma) {
    // Two Lanczos half-pixel moves there and back soften a little; a box of Gaussian taps
    // does the rest, separably.
    const int r = int(std::ceil(3 * sigma));
    std::vector<double> k(std::size_t(2 * r + 1));
    double sum = 0;
    for (int i = -r; i <= r; ++i) sum += k[std::size_t(i + r)] = std::exp(-0.5 * i * i / (sigma * sigma));
    FloatImage tmp = im, out = im;
    for (int c = 0; c < im.channels; ++c)
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x) {
                double s = 0;
                for (int i = -r; i <= r; ++i)
                    s += k[std::size_t(i + r)] * im.Plane(c)[std::size_t(y) * std::size_t(im.width) +
                                                             std::size_t(std::clamp(x + i, 0, im.width - 1))];
                tmp.Plane(c)[std::size_t(y) * std::size_t(im.width) + std::size_t(x)] = float(s / sum);
            }
    for (int c = 0; c < im.channels; ++c)
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x) {
                double s = 0;
                for (int i = -r; i <= r; ++i)
                    s += k[std::size_t(i + r)] * tmp.Plane(c)[std::size_t(std::clamp(y + i, 0, im.height - 1)) *
                                                                  std::size_t(im.width) + std::size_t(x)];
                out.Plane(c)[std::size_t(y) * std::size_t(im.width) + std::size_t(x)] = float(s / sum);
            }
    return out;
}

TEST(DiskPsnr, TruthScoresPerfectlyAndAMovedRescaledTruthRegistersBack) {
    const GroundTruth truth = SmallTruth(true);
    EXPECT_GT(DiskPsnr(truth.image, truth).psnr, 100);

    const struct {
        double dx, dy, gain, offset;
    } cases[] = {{3.4, -2.7, 1, 0}, {-10.25, 6.5, 0.5, 0.1}, {0.5, 0.5, 2, -0.2}, {0, 0, 1.5, 0}, {-0.3, 0.8, 1, 0.05}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.dx) + "," + std::to_string(c.dy));
        FloatImage moved;
        ShiftImage(truth.image, c.dx, c.dy, moved);
        for (float& v : moved.data) v = float(c.gain * v + c.offset);
        const PsnrResult p = DiskPsnr(moved, truth);
        EXPECT_NEAR(p.dx, c.dx, 0.05);
        EXPECT_NEAR(p.dy, c.dy, 0.05);
        EXPECT_GT(p.psnr, 40);
    }
}

TEST(DiskPsnr, MoreBlurScoresLowerAndAGreyResultOfAColourTruthScoresLower) {
    for (bool colour : {true, false}) {
        SCOPED_TRACE(colour ? "colour" : "grey");
        const GroundTruth truth = SmallTruth(colour);
        double previous = 200;
        for (double sigma : {0.5, 1.0, 2.0, 3.5}) {
            const double p = DiskPsnr(Blurred(truth.image, sigma), truth).psnr;
            EXPECT_LT(p, previous) << "sigma " << sigma;
            previous = p;
        }
    }
    const GroundTruth truth = SmallTruth(true);
    const FloatImage soft = Blurred(truth.image, 1.0);
    FloatImage grey;
    grey.Allocate(soft.width, soft.height, 1);
    const std::vector<float> lum = LuminanceOf(soft);
    std::copy(lum.begin(), lum.end(), grey.data.begin());
    EXPECT_LT(DiskPsnr(grey, truth).psnr, DiskPsnr(soft, truth).psnr);
}

// The ring just outside the limb: dark in the truth, lit by blur's glow, whatever the result's
// brightness scale.
TEST(BackgroundOf, RingShareGrowsWithBlurAndIgnoresGainAndOffset) {
    const GroundTruth truth = SmallTruth(false);
    EXPECT_NEAR(BackgroundOf(truth.image, truth).ringShare, 0, 0.005);
    double previous = 0;
    for (double sigma : {1.0, 2.0, 3.0}) {
        FloatImage soft = Blurred(truth.image, sigma);
        const double share = BackgroundOf(soft, truth).ringShare;
        EXPECT_GT(share, previous + 0.01) << sigma;
        for (float& v : soft.data) v = 0.5f * v + 0.1f;
        EXPECT_NEAR(BackgroundOf(soft, truth).ringShare, share, 1e-4) << sigma;
        previous = share;
    }
}

TEST(DiskPsnr, ResampledResultsAreReducedAndOddSizesRefused) {
    const GroundTruth truth = SmallTruth(false);
    FloatImage doubled;
    doubled.Allocate(2 * truth.image.width, 2 * truth.image.height, 1);
    for (int y = 0; y < doubled.height; ++y)
        for (int x = 0; x < doubled.width; ++x)
            doubled.data[std::size_t(y) * std::size_t(doubled.width) + std::size_t(x)] =
                truth.image.data[std::size_t(y / 2) * std::size_t(truth.image.width) + std::size_t(x / 2)];
    EXPECT_GT(DiskPsnr(doubled, truth).psnr, 100);
    FloatImage odd;
    odd.Allocate(truth.image.width + 3, truth.image.height, 1);
    EXPECT_THROW(DiskPsnr(odd, truth), talvenor::Error);
}

TEST(EvaluationMask, PlanetIsItsDiscMoonAndSunAllButABorder) {
    const GroundTruth planet = SmallTruth(true);
    const auto disc = EvaluationMask(planet);
    double inside = 0;
    for (auto m : disc) inside += m;
    const double share = inside / double(disc.size());
    // The disc's radius is 30 % of the smaller side, flattened by 6.5 %.
    const double expected = 3.14159 * 36 * 36 * (1 - 0.065) / (160.0 * 120.0);
    EXPECT_NEAR(share, expected, 0.03);
    EXPECT_EQ(disc[0], 0);

    for (SceneMode mode : {SceneMode::Moon, SceneMode::Sun}) {
        const GroundTruth full = SmallTruth(false, mode);
        const auto mask = EvaluationMask(full, MaskKind::Auto, 10);
        EXPECT_EQ(mask[std::size_t(9) * 160 + 80], 0);
        EXPECT_EQ(mask[std::size_t(10) * 160 + 80], 1);
        EXPECT_EQ(mask[std::size_t(60) * 160 + 149], 1);
        EXPECT_EQ(mask[std::size_t(60) * 160 + 150], 0);
    }
}

TEST(Spearman, TextbookRankingsAndTies) {
    const struct {
        std::vector<double> a, b;
        double rho;
    } cases[] = {
        {{1, 2, 3, 4, 5}, {10, 20, 30, 40, 50}, 1},
        {{1, 2, 3, 4, 5}, {5, 4, 3, 2, 1}, -1},
        {{1, 2, 3, 4, 5}, {1, 4, 9, 16, 1000}, 1},  // monotone, not linear
        {{1, 2, 3, 4, 5}, {2, 1, 4, 3, 5}, 0.8},
        {{1, 2, 2, 3}, {1, 2, 3, 4}, 0.9486832980505138},  // ties take the mean rank
        {{1, 1, 1}, {1, 2, 3}, 0},
        {{1}, {1}, 0},
    };
    for (const auto& c : cases) EXPECT_NEAR(Spearman(c.a, c.b), c.rho, 1e-9);
}

TEST(QualityAgainstBlur, LeavesOutExcludedAndDroppedFrames) {
    TempDir tmp;
    std::ofstream(tmp / "s.csv") << "index,ShiftX,ShiftY,Quality,Difference,rank,excluded,dropped\n"
                                    "0,0,0,9,1,0,0,0\n"
                                    "1,1,-1,7,1,1,0,0\n"
                                    "2,0,2,1,1,-1,1,0\n"   // excluded: would break the ranking
                                    "3,0,0,5,1,2,0,1\n"    // dropped
                                    "4,2,2,3,1,3,0,0\n";
    const auto rows = ReadShiftsCsv(tmp / "s.csv");
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[1].shiftY, -1);
    EXPECT_EQ(rows[2].rank, -1);
    EXPECT_TRUE(rows[2].excluded);
    std::vector<FrameTruth> truth(5);
    const double sigma[] = {0.9, 1.5, 0.1, 0.2, 2.5};
    for (int k = 0; k < 5; ++k) truth[std::size_t(k)].sigma = sigma[k];
    const QualityRanking r = QualityAgainstBlur(rows, truth);
    EXPECT_EQ(r.frames, 3);
    EXPECT_NEAR(r.spearman, -1, 1e-9);

    std::ofstream(tmp / "bad.csv") << "index,ShiftX\n0,0\n";
    EXPECT_THROW(ReadShiftsCsv(tmp / "bad.csv"), talvenor::Error);
}

TEST(GroundTruthFiles, TruthCsvAndTifReadBackAsWritten) {
    CaptureOptions o = RealisticCaptureOptions();
    o.width = 96;
    o.height = 64;
    o.frames = 5;
    o.colour = true;
    o.dropped = {3};
    TempDir tmp;
    WriteCapture(tmp / "cap.avi", o);
    CaptureGenerator gen(o);
    const GroundTruth truth = ReadGroundTruth(tmp.path());
    ASSERT_EQ(truth.frames.size(), 5u);
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_NEAR(truth.frames[k].dx, gen.plan()[k].dx, 1e-4);
        EXPECT_NEAR(truth.frames[k].sigmaX, gen.plan()[k].sigmaX, 1e-4);
        EXPECT_EQ(truth.frames[k].dropped, k == 3);
    }
    EXPECT_EQ(truth.image.channels, 3);
    EXPECT_GT(DiskPsnr(truth.image, truth).psnr, 90);  // 16-bit truth.tif against itself
    // The simple model's truth.csv has no axis columns: both take sigma.
    const auto simple = ParseTruthCsv("frame,dx,dy,sigma,dropped\n0,0,0,1.5,0\n");
    EXPECT_EQ(simple[0].sigmaX, 1.5);
    EXPECT_THROW(ParseTruthCsv("frame,dx\n0,x\n"), talvenor::Error);
}

// The frames read back from a capture are the generator's frames as quantised on disk.
TEST(CaptureFrames, ReadAviAndSeriesFramesAsTheGeneratorWroteThem) {
    const struct {
        CaptureFormat format;
        bool colour;
        int channels;
        double tolerance;
    } cases[] = {{CaptureFormat::AviRgb, true, 3, 0.5 / 255}, {CaptureFormat::AviGrey, false, 1, 0.5 / 255},
                 {CaptureFormat::Tiff, true, 3, 0.5 / 65535}, {CaptureFormat::Fits, false, 1, 0.5 / 65535},
                 {CaptureFormat::Bmp, false, 1, 0.5 / 255}};
    for (const auto& c : cases) {
        SCOPED_TRACE(CaptureFormatName(c.format));
        CaptureOptions o = RealisticCaptureOptions();
        o.format = c.format;
        o.width = 48;
        o.height = 40;
        o.frames = 3;
        o.colour = c.colour;
        TempDir tmp;
        const fs::path out = IsAvi(c.format) ? tmp / "cap.avi" : tmp / "cap";
        WriteCapture(out, o);
        CaptureFrames frames(out);
        ASSERT_EQ(frames.Count(), 3);
        CaptureGenerator gen(o);
        FloatImage read, rendered;
        frames.Read(2, read);
        gen.RenderFloat(2, rendered);
        ASSERT_EQ(read.channels, c.channels);
        ASSERT_EQ(read.width, 48);
        for (std::size_t i = 0; i < read.data.size(); ++i)
            ASSERT_NEAR(read.data[i], std::clamp(rendered.data[i], 0.f, 1.f), c.tolerance + 1e-6) << i;
    }
}

TEST(OracleStack, BeatsTheBestFrameWhenNoiseDominatesAndSitsAtTheTruthsPlace) {
    CaptureOptions o = RealisticCaptureOptions();
    o.width = 160;
    o.height = 120;
    o.frames = 40;
    o.colour = true;
    o.blurMin = 0.8;
    o.blurMax = 1.2;
    o.jitter = 2;
    // A faint target at high gain: noise, not blur, limits a single frame. (At the default
    // levels the error against the sharp truth is mostly blur, and ten frames gain ~1 dB.)
    o.sensor.peak = 40;
    o.sensor.gain = 1;
    o.sensor.readNoise = 4;
    CaptureGenerator gen(o);
    GroundTruth truth;
    gen.RenderTruth(truth.image);
    truth.frames = gen.plan();
    // As written to an 8-bit file.
    const FrameReader frames = [&](int k, FloatImage& out) {
        gen.RenderFloat(k, out);
        for (float& v : out.data) v = std::clamp(std::nearbyint(v * 255.f), 0.f, 255.f) / 255.f;
    };
    const BestFrame best = BestFramePsnr(frames, truth, 3);
    const OracleResult oracle = OracleStack(frames, truth, 0.25);
    EXPECT_EQ(oracle.frames, 10);
    EXPECT_GT(oracle.psnr.psnr, best.psnr.psnr + 3);
    EXPECT_NEAR(oracle.psnr.dx, 0, 0.1);
    EXPECT_NEAR(oracle.psnr.dy, 0, 0.1);
    // The best frame is found where truth.csv puts it.
    const FrameTruth& t = truth.frames[std::size_t(best.frame)];
    EXPECT_NEAR(best.psnr.dx, t.dx, 0.15);
    EXPECT_NEAR(best.psnr.dy, t.dy, 0.15);
    EXPECT_EQ(SharpestFrames(truth.frames, 1)[0], SharpestFrames(truth.frames, 3)[0]);
}

}  // namespace
