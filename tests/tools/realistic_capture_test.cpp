// The realistic capture model must look like a real camera under real seeing, or the tests
// built on it prove nothing: noise that grows with the signal as the gain says, seeing that
// stays good or bad for a few frames and differs between the axes, levels like a real
// planetary capture, the same bytes for the same seed, and the simple model left untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/seeing.h"
#include "capture/sensor.h"
#include "support/temp_dir.h"
#include "workspace/error.h"

namespace {

using namespace talvenor::capture;
using talvenor::testing::TempDir;

double Mean(const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x;
    return s / double(v.size());
}

double Autocorrelation(const std::vector<double>& v, std::size_t lag) {
    const double m = Mean(v);
    double num = 0, den = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        den += (v[i] - m) * (v[i] - m);
        if (i + lag < v.size()) num += (v[i] - m) * (v[i + lag] - m);
    }
    return num / den;
}

uint64_t Fnv(const talvenor::Bitmap24& b, uint64_t h) {
    for (int y = 0; y < b.Height(); ++y)
        for (std::size_t i = 0; i < b.Stride(); ++i) {
            h ^= b.Row(y)[i];
            h *= 1099511628211ull;
        }
    return h;
}

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SensorModel, NoiseVarianceIsTheSignalInElectronsPlusReadNoise) {
    struct Case {
        double gain, readNoise, level;  // level: scene brightness 0..1
    };
    const Case cases[] = {{3, 3, 0}, {3, 3, 0.1}, {3, 3, 0.9}, {1, 5, 0.5}, {4, 2, 0.75}, {0.5, 1, 0.3}};
    for (const Case& c : cases) {
        SCOPED_TRACE("gain " + std::to_string(c.gain) + " level " + std::to_string(c.level));
        SensorModel s;
        s.gain = c.gain;
        s.readNoise = c.readNoise;
        std::vector<float> v(40000, float(c.level));
        ExposeSensor(v.data(), v.size(), s, 5);
        double sum = 0, sum2 = 0;
        for (float x : v) {
            sum += 255.0 * x;
            sum2 += 255.0 * x * 255.0 * x;
        }
        const double n = double(v.size()), mean = sum / n, variance = sum2 / n - mean * mean;
        const double electrons = c.level * s.peak * s.gain;
        EXPECT_NEAR(mean, s.pedestal + c.level * s.peak, 0.05 + 0.02 * std::sqrt(variance));
        const double expected = (electrons + c.readNoise * c.readNoise) / (c.gain * c.gain);
        EXPECT_NEAR(variance, expected, 0.04 * expected);
        EXPECT_NEAR(SensorNoiseAdu(s, c.level * s.peak), std::sqrt(expected), 1e-9);
    }
}

// Through the whole renderer: two exposures of the same blurred frame differ by noise
// alone, and its variance against the level rises with slope 1 / gain from read² / gain².
TEST(SensorModel, RenderedFramesHaveShotNoiseOnTheirOwnSignal) {
    SceneOptions so;
    so.width = 160;
    so.height = 120;
    so.margin = 12;
    so.colour = false;
    const Scene scene = MakeScene(so);
    SensorModel s;
    FrameRenderer a(scene, s, 1), b(scene, s, 2), clean(scene, 0.0, 1);
    FrameTruth t;
    t.sigma = 1.5;
    FloatImage fa, fb, fc;
    a.Render(0, t, fa);
    b.Render(0, t, fb);
    clean.Render(0, t, fc);
    // Fit var(difference) / 2 = intercept + slope * signal over all pixels.
    double sx = 0, sy = 0, sxx = 0, sxy = 0, n = 0;
    for (std::size_t i = 0; i < fa.data.size(); ++i) {
        const double signal = s.peak * fc.data[i], d = 255.0 * (fa.data[i] - fb.data[i]);
        const double y = 0.5 * d * d;
        sx += signal;
        sy += y;
        sxx += signal * signal;
        sxy += signal * y;
        n += 1;
    }
    const double slope = (sxy - sx * sy / n) / (sxx - sx * sx / n), intercept = (sy - slope * sx) / n;
    EXPECT_NEAR(slope, 1 / s.gain, 0.05 / s.gain);
    EXPECT_NEAR(intercept, s.readNoise * s.readNoise / (s.gain * s.gain), 0.3);
}

TEST(SeeingPlan, BlurWandersWithinItsRangeOverAFewFramesAndDiffersBetweenAxes) {
    struct Case {
        double lo, hi, frames, anisotropy;
    };
    const Case cases[] = {{0.8, 3.5, 3, 0.3}, {1.0, 2.0, 6, 0.5}, {0.5, 4.0, 2, 0.1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.lo) + ".." + std::to_string(c.hi));
        MotionOptions m;
        m.frames = 3000;
        m.blurMin = c.lo;
        m.blurMax = c.hi;
        m.jitter = 1;
        m.seed = 9;
        SeeingOptions so;
        so.correlationFrames = c.frames;
        so.anisotropy = c.anisotropy;
        const auto plan = PlanSeeingFrames(m, so);
        std::vector<double> sigma;
        double mostRatio = 0, spread = 0;
        for (const FrameTruth& t : plan) {
            ASSERT_GE(t.sigma, c.lo);
            ASSERT_LE(t.sigma, c.hi);
            EXPECT_NEAR(std::sqrt(t.sigmaX * t.sigmaY), t.sigma, 1e-9);
            const double ratio = std::fabs(std::log(t.sigmaX / t.sigmaY));
            mostRatio = std::max(mostRatio, ratio);
            spread += ratio > 0.25 * std::log1p(c.anisotropy) ? 1 : 0;
            sigma.push_back(t.sigma);
        }
        EXPECT_LE(mostRatio, std::log1p(c.anisotropy) + 1e-9);
        EXPECT_GT(spread / double(plan.size()), 0.3);  // anisotropy is the rule, not the exception
        // AR(1) of the latent: correlation about exp(-lag / frames), a little less after mapping.
        EXPECT_GT(Autocorrelation(sigma, 1), 0.75 * std::exp(-1 / c.frames));
        EXPECT_LT(Autocorrelation(sigma, std::size_t(8 * c.frames)), 0.15);
        // Most frames soft, a few sharp: the sharpest tenth of the range is rare.
        const auto sharp = std::count_if(sigma.begin(), sigma.end(), [&](double s) { return s < c.lo + 0.1 * (c.hi - c.lo); });
        EXPECT_GT(sharp, 0);
        EXPECT_LT(double(sharp) / double(sigma.size()), 0.05);
    }
}

TEST(SeeingPlan, PointingRandomWalksAroundTheDriftAndFrameZeroStays) {
    MotionOptions m;
    m.frames = 2000;
    m.driftX = 0.02;
    m.driftY = 0;
    m.jitter = 0;
    m.seed = 4;
    SeeingOptions so;
    so.walk = 0.2;
    const auto plan = PlanSeeingFrames(m, so);
    EXPECT_EQ(plan[0].dx, 0);
    EXPECT_EQ(plan[0].dy, 0);
    // Without jitter consecutive positions differ by the walk's step (plus the drift).
    std::vector<double> steps;
    for (std::size_t k = 1; k < plan.size(); ++k) steps.push_back(plan[k].dy - plan[k - 1].dy);
    double var = 0;
    for (double s : steps) var += s * s;
    EXPECT_NEAR(std::sqrt(var / double(steps.size())), 0.2, 0.02);
    EXPECT_NEAR(Mean(steps), 0, 0.02);
}

TEST(RealisticCapture, LevelsLookLikeAPlanetaryCamera) {
    CaptureOptions o = RealisticCaptureOptions();
    o.width = 200;
    o.height = 150;
    o.frames = 8;
    o.colour = true;
    CaptureGenerator gen(o);
    int peak = 0;
    double skySum = 0, skyCount = 0;
    for (int k = 0; k < o.frames; ++k) {
        const auto f = gen.Frame8(k);
        for (int y = 0; y < f.Height(); ++y)
            for (int x = 0; x < f.Width(); ++x) {
                const auto p = f.Pixel(x, y);
                peak = std::max({peak, int(p.r), int(p.g), int(p.b)});
                if (y < 8) {
                    skySum += p.g;
                    skyCount += 1;
                }
            }
    }
    EXPECT_GE(peak, 150);
    EXPECT_LE(peak, 230);
    EXPECT_NEAR(skySum / skyCount, o.sensor.pedestal + 0.012 * o.sensor.peak, 1.0);
}

TEST(RealisticCapture, SameSeedSameBytesOtherSeedOtherBytesAndTheAxesInTruthCsv) {
    for (CaptureFormat format : {CaptureFormat::AviRgb, CaptureFormat::AviGrey, CaptureFormat::Tiff}) {
        SCOPED_TRACE(CaptureFormatName(format));
        CaptureOptions o = RealisticCaptureOptions();
        o.format = format;
        o.width = 64;
        o.height = 48;
        o.frames = 4;
        o.colour = true;
        TempDir a, b, c;
        const std::string name = IsAvi(format) ? "cap.avi" : "cap";
        const std::string frame = IsAvi(format) ? "cap.avi" : "cap/capture_00003.tif";
        WriteCapture(a / name, o);
        WriteCapture(b / name, o);
        o.seed = 2;
        WriteCapture(c / name, o);
        EXPECT_EQ(ReadAll(a / frame), ReadAll(b / frame));
        EXPECT_NE(ReadAll(a / frame), ReadAll(c / frame));
        const std::string truthDir = IsAvi(format) ? "" : "cap/";
        const std::string csv = ReadAll(a / (truthDir + "truth.csv"));
        EXPECT_EQ(csv.substr(0, csv.find('\n')), "frame,dx,dy,sigma,dropped,sigma_x,sigma_y");
    }
}

// The simple model's frames are what every other test was written against: these hashes
// were taken from it before the realistic model existed.
TEST(RealisticCapture, SimpleModelFramesAreUnchanged) {
    const struct {
        SceneMode mode;
        bool colour;
        uint64_t hash;
    } cases[] = {{SceneMode::Moon, false, 0x2ec39e2425944521ull}, {SceneMode::Planet, true, 0x811a2557961983ccull}};
    for (const auto& c : cases) {
        CaptureOptions o;
        o.frames = 6;
        o.width = 96;
        o.height = 64;
        o.seed = 11;
        o.colour = c.colour;
        o.mode = c.mode;
        CaptureGenerator g(o);
        uint64_t h = 1469598103934665603ull;
        for (int k = 0; k < o.frames; ++k) h = Fnv(g.Frame8(k), h);
        EXPECT_EQ(h, c.hash) << SceneModeName(c.mode);
    }
}

// Local seeing is an addition: without it the realistic frames stay what they were when it
// came (hashes taken from the model before it).
TEST(RealisticCapture, FramesWithoutLocalSeeingAreUnchanged) {
    const struct {
        SceneMode mode;
        bool colour;
        uint64_t hash;
    } cases[] = {{SceneMode::Moon, false, 0x5ab1e85304fefa01ull}, {SceneMode::Planet, true, 0xd2f5b68ab6de9b8dull}};
    for (const auto& c : cases) {
        CaptureOptions o = RealisticCaptureOptions();
        o.frames = 6;
        o.width = 96;
        o.height = 64;
        o.seed = 11;
        o.colour = c.colour;
        o.mode = c.mode;
        CaptureGenerator g(o);
        uint64_t h = 1469598103934665603ull;
        for (int k = 0; k < o.frames; ++k) h = Fnv(g.Frame8(k), h);
        EXPECT_EQ(h, c.hash) << SceneModeName(c.mode);
    }
}

TEST(RealisticCapture, RejectsSensorAndSeeingValuesOutOfRange) {
    auto options = [] {
        CaptureOptions o = RealisticCaptureOptions();
        o.frames = 2;
        o.width = 32;
        o.height = 32;
        return o;
    };
    std::vector<CaptureOptions> bad(10, options());
    bad[0].sensor.gain = 0;
    bad[1].sensor.readNoise = -1;
    bad[2].sensor.pedestal = NAN;
    bad[3].sensor.peak = 0;
    bad[4].seeing.anisotropy = -0.1;
    bad[5].seeing.walk = 100;
    bad[6].seeing.distortion = -0.5;
    bad[7].seeing.distortion = 9;
    bad[8].seeing.patchiness = 1.5;
    bad[9].seeing.patchiness = NAN;
    for (const CaptureOptions& o : bad) EXPECT_THROW(CheckOptions(o), talvenor::Error);
    EXPECT_NO_THROW(CheckOptions(options()));
}

}  // namespace
