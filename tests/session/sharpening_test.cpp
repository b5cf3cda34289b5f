// Sharpening without tuning: a new stack arrives deconvolved with the blur read off it, "Auto"
// and the deconvolution's controls work on the processing area and on whole-picture saves, and
// projects keep the choice (older ones reopen as they were made).
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "session/auto_sharpening.h"
#include "session/project_files.h"
#include "session/still_on_wavelet_page.h"
#include "session/wavelet_process.h"
#include "support/picture_difference.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

using testing::StartedSession;
using testing::StillOnWaveletPage;

// The planet still blurred by a Gaussian of `sigma` pixels, with a little noise.
Bitmap24 Blurred(const Bitmap24& sharp, double sigma) {
    const int r = int(std::ceil(3 * sigma)), w = sharp.Width(), h = sharp.Height();
    std::vector<double> k(std::size_t(2 * r + 1));
    double sum = 0;
    for (int i = -r; i <= r; ++i) sum += k[std::size_t(i + r)] = std::exp(-i * i / (2 * sigma * sigma));
    for (double& v : k) v /= sum;
    std::vector<double> a(std::size_t(w) * h * 3), b(a.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) a[(std::size_t(y) * w + x) * 3 + c] = sharp.Row(y)[x * 3 + c];
    auto at = [&](const std::vector<double>& p, int x, int y, int c) {
        return p[(std::size_t(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)) * 3 + c];
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                double v = 0;
                for (int i = -r; i <= r; ++i) v += k[std::size_t(i + r)] * at(a, x + i, y, c);
                b[(std::size_t(y) * w + x) * 3 + c] = v;
            }
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 0.7);
    Bitmap24 out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                double v = 0;
                for (int i = -r; i <= r; ++i) v += k[std::size_t(i + r)] * at(b, x, y + i, c);
                out.Row(y)[x * 3 + c] = uint8_t(std::clamp(std::lrint(v + noise(random)), 0L, 255L));
            }
    return out;
}

// How far a picture is from the truth once its display stretch is taken out: the RMS of what a
// straight-line fit of its levels on the truth's leaves.
double RmsDifference(const Bitmap24& a, const Bitmap24& truth) {
    double n = 0, sa = 0, st = 0, stt = 0, sat = 0, saa = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (std::size_t i = 0; i < a.Stride(); ++i) {
            const double u = a.Row(y)[i], t = truth.Row(y)[i];
            n += 1, sa += u, st += t, stt += t * t, sat += u * t, saa += u * u;
        }
    const double slope = (n * sat - sa * st) / (n * stt - st * st), offset = (sa - slope * st) / n;
    return std::sqrt(std::max(0.0, (saa - 2 * slope * sat - 2 * offset * sa + slope * slope * stt +
                                    2 * slope * offset * st + n * offset * offset) / n)) / slope;
}

// A planet whose detail has power at every scale, falling as a power of the frequency, as
// the belts and festoons of a real one do (the blind estimate of the blur relies on it).
Bitmap24 DetailedPlanet(int width, int height) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> unit(0, 1);
    struct Wave {
        double fx, fy, phase, amplitude;
    };
    std::vector<Wave> waves;
    for (int k = 0; k < 400; ++k) {
        const double f = 0.01 * std::pow(45.0, unit(random)), angle = 2 * M_PI * unit(random);
        waves.push_back({f * std::cos(angle), f * std::sin(angle), 2 * M_PI * unit(random), 0.9 / (f * 100)});
    }
    Bitmap24 b(width, height);
    const double cx = width * 0.5, cy = height * 0.5, r = std::min(width, height) * 0.38;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double v = 12;
            if (std::hypot(x - cx, y - cy) < r) {
                v = 130;
                for (const Wave& w : waves) v += w.amplitude * std::cos(2 * M_PI * (w.fx * x + w.fy * y) + w.phase);
            }
            const uint8_t level = uint8_t(std::clamp(v, 0.0, 255.0));
            b.SetPixel(x, y, Bgr{uint8_t(level * 0.8), level, uint8_t(level * 0.9)});
        }
    return b;
}

// A blurred planet opened by a user whose "Sharpen automatically after stacking" is as given.
struct BlurredStill {
    StartedSession t;
    Session* s = nullptr;
    Bitmap24 truth = DetailedPlanet(240, 180);
    explicit BlurredStill(bool autoSharpen) {
        s = &t.Start();
        s->form.AutoSharpenAfterStack.Checked = autoSharpen;
        const std::filesystem::path p = t.appDir / "blurred.bmp";
        WriteBmp24(p, Blurred(truth, 1.6));
        OpenInput(*s, {p.string()}, 2);
    }
    Controls& f() { return s->form; }
    const Bitmap24& picture() { return s->form.ProcessImage.Image; }
};

TEST(Sharpening, ANewStackArrivesDeconvolvedWithTheBlurReadOffItAndCloserToTheTruth) {
    BlurredStill plain(false), sharpened(true);
    EXPECT_EQ(plain.f().SharpenMethod.ItemIndex, 0);
    EXPECT_LE(testing::MaxDifference(plain.picture(), plain.f().Stackimage.Image), 1);

    Controls& f = sharpened.f();
    EXPECT_EQ(f.SharpenMethod.ItemIndex, kAutomaticSharpenMethod);
    EXPECT_TRUE(f.DeconvolutionGroup.Visible);
    EXPECT_FALSE(f.RxSlider3.Enabled);  // the gains do not act while deconvolving
    EXPECT_NEAR(sharpened.s->wavelets.BlurSigma, 1.6, 0.35);
    EXPECT_EQ(f.DeconvSigma.Value, std::lrint(sharpened.s->wavelets.BlurSigma * 100));
    EXPECT_NE(f.BlurEstimate.Caption.find("Estimated blur: sigma"), std::string::npos);
    const double before = RmsDifference(plain.picture(), plain.truth), after = RmsDifference(sharpened.picture(), plain.truth);
    EXPECT_LT(after, before * 0.8) << before << " -> " << after;

    // Both filters and a sigma by hand restore it; a gain slider changes nothing meanwhile.
    const struct {
        int filter, sigma;
    } settings[] = {{1, 160}, {0, 160}, {0, 100}};
    for (const auto& c : settings) {
        SCOPED_TRACE(c.filter * 1000 + c.sigma);
        f.DeconvFilter.ItemIndex = c.filter;
        sharpened.s->Dispatch("DeconvFilter", Event::Click);
        f.DeconvSigma.Value = c.sigma;
        sharpened.s->Dispatch("DeconvSigma", Event::Change);
        EXPECT_EQ(f.DeconvWienerK.Visible, c.filter == 1);
        EXPECT_LT(RmsDifference(sharpened.picture(), plain.truth), before * 0.9);
        const Bitmap24 shown = sharpened.picture();
        f.RxSlider3.Value = 40;
        sharpened.s->Dispatch("RxSlider3", Event::Change);
        EXPECT_EQ(testing::MaxDifference(sharpened.picture(), shown), 0);
    }
    // Back to the wavelets: their gains act again, and "Auto" sets them from the stack.
    f.SharpenMethod.ItemIndex = 0;
    sharpened.s->Dispatch("SharpenMethod", Event::Click);
    EXPECT_FALSE(f.DeconvolutionGroup.Visible);
    EXPECT_TRUE(f.RxSlider3.Enabled);
    sharpened.s->Dispatch("AutoSharpen", Event::Click);
    int changed = 0;
    for (int n = 1; n <= kLayers; ++n) changed += GainSlider(f, n).Value != 10;
    EXPECT_GT(changed, 0);
    EXPECT_LT(RmsDifference(sharpened.picture(), plain.truth), before * 0.9);
    // "Reset" from deconvolving: the plain stack again.
    f.SharpenMethod.ItemIndex = 1;
    sharpened.s->Dispatch("SharpenMethod", Event::Click);
    sharpened.s->Dispatch("ResetButton", Event::Click);
    EXPECT_EQ(f.SharpenMethod.ItemIndex, 0);
    EXPECT_LE(testing::MaxDifference(sharpened.picture(), plain.picture()), 1);
}

TEST(Sharpening, TilesOfASaveDeconvolveAsTheWholePictureAndCancelLeavesThePlainStack) {
    StillOnWaveletPage whole(300, 210);
    StillOnWaveletPage tiled(300, 210);
    for (StillOnWaveletPage* w : {&whole, &tiled}) {
        w->f().SharpenMethod.ItemIndex = 1;
        w->s->Dispatch("SharpenMethod", Event::Click);
    }
    tiled.f().Processarea.ItemIndex = 5;  // 128: nine tiles
    tiled.s->Dispatch("Processarea", Event::Change);
    tiled.s->Dispatch("ProcessButton", Event::Click);
    ASSERT_FALSE(WholePictureProcessed(*tiled.s));
    ASSERT_TRUE(ProcessWholePicture(*tiled.s));
    EXPECT_LE(testing::MaxDifference(ProcessedPicture(*tiled.s), ProcessedPicture(*whole.s)), 1);

    // Cancel pressed while the area is deconvolved: the plain stack stays, and Process works again.
    whole.f().DeconvSigma.Value = 200;
    int pumps = 0;
    whole.t.host.OnPump = [&] {
        if (++pumps == 1) whole.s->Dispatch("ProgressCancel", Event::Click);
    };
    whole.s->Dispatch("DeconvSigma", Event::Change);
    whole.t.host.OnPump = nullptr;
    EXPECT_TRUE(whole.s->ws.LayersStale);
    EXPECT_EQ(testing::MaxDifference(whole.picture(), whole.f().Stackimage.Image), 0);
    whole.s->Dispatch("ProcessButton", Event::Click);
    EXPECT_GT(testing::MaxDifference(whole.picture(), whole.f().Stackimage.Image), 2);
}

TEST(Sharpening, ProjectsKeepTheMethodAndOlderProjectsReopenWithTheirWavelets) {
    BlurredStill w(true);
    Controls& f = w.f();
    f.DeconvFilter.ItemIndex = 1;
    w.s->Dispatch("DeconvFilter", Event::Click);
    f.DeconvWienerK.Value = 0.0123;
    w.s->Dispatch("DeconvWienerK", Event::Change);
    const Bitmap24 shown = w.picture();
    const std::string text = ProjectText(*w.s);
    const std::filesystem::path project = w.t.appDir / "work.ppf";

    // Reopened in a fresh program whose own choice is the other way round.
    struct {
        const char* name;
        std::string text;
        int method;
    } cases[] = {{"saved", text, 1}, {"older", text, 0}};
    // An older project has no sharpening keys: it was sharpened by its gains alone.
    for (const char* key : {"sharpening=", "deconvfilter=", "sigma=", "iterations=", "wienerk="}) {
        const std::size_t at = cases[1].text.find(std::string("\n") + key);
        ASSERT_NE(at, std::string::npos) << key;
        cases[1].text.erase(at + 1, cases[1].text.find('\n', at + 1) - at);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartedSession t;
        Session& s = t.Start();
        s.form.SharpenMethod.ItemIndex = 1 - c.method;
        s.form.DeconvSigma.Value = 333;
        t.WriteFile(project, c.text);
        ASSERT_TRUE(LoadProjectFile(s, project));
        EXPECT_EQ(s.form.SharpenMethod.ItemIndex, c.method);
        if (c.method == 1) {
            EXPECT_EQ(s.form.DeconvSigma.Value, f.DeconvSigma.Value);
            EXPECT_EQ(s.form.DeconvWienerK.Value, 0.0123);
            EXPECT_EQ(testing::MaxDifference(s.form.ProcessImage.Image, shown), 0);
        } else {
            EXPECT_LE(testing::MaxDifference(s.form.ProcessImage.Image, s.form.Stackimage.Image), 1);
        }
    }
    // A sharpening value out of range refuses the project before the work in hand changes.
    for (const char* bad : {"sigma=5000", "sharpening=blur"}) {
        SCOPED_TRACE(bad);
        std::string broken = text;
        const std::string key = std::string(bad).substr(0, std::string(bad).find('=') + 1);
        const std::size_t at = broken.find("\n" + key) + 1;
        broken.replace(at, broken.find('\n', at) - at, bad);
        w.t.WriteFile(project, broken);
        EXPECT_THROW(LoadProjectFile(*w.s, project), Error);
        EXPECT_EQ(w.f().DeconvWienerK.Value, 0.0123);
        EXPECT_EQ(testing::MaxDifference(w.picture(), shown), 0);
    }
}

}  // namespace
}  // namespace talvenor
