// Frames placed where they belong: sub-pixel stacking, drizzle with the sub-pixel estimate,
// resampled FITS stacks and the plane a FITS frame of a given colour goes to, all on
// generated captures whose truth is known, through the Stack button as a user presses it.
#include <gtest/gtest.h>

#include <cstdio>

#include "generated_stack.h"
#include "stacking/frame_shift.h"
#include "stacking/resample.h"
#include "stacking/subpixel_sampler.h"

namespace talvenor {
namespace {

using testing::GeneratedStack;
using testing::FittedPsnr;
using testing::SharpCapture;

double StackPsnr(GeneratedStack& g) {
    g.s->Dispatch("Stackbutton", Event::Click);
    EXPECT_TRUE(g.s->ws.StackReady);
    return FittedPsnr(g.s->form.Stackimage.Image, g.truth, 8);
}

// The truth on a drizzled stack's grid (2w - 1 by 2h - 1, corner pixels on corner pixels).
Bitmap24 TruthOnDrizzleGrid(const Bitmap24& truth) {
    Bitmap24 big(2 * truth.Width() - 1, 2 * truth.Height() - 1);
    Stretch(truth, big, Lanczos3Filter, 3.0f);
    return big;
}

TEST(SubPixelStacking, BeatsWholePixelsOnEveryInputKind) {
    const struct {
        capture::CaptureFormat format;
        bool colour;
    } cases[] = {
        {capture::CaptureFormat::AviRgb, true},  {capture::CaptureFormat::AviGrey, false},
        {capture::CaptureFormat::Bmp, false},    {capture::CaptureFormat::Bmp, true},
        {capture::CaptureFormat::Fits, false},   {capture::CaptureFormat::Tiff, false},
        {capture::CaptureFormat::Tiff, true},
    };
    for (const auto& c : cases) {
        const std::string name = capture::CaptureFormatName(c.format) + (c.colour ? " colour" : " mono");
        SCOPED_TRACE(name);
        GeneratedStack g(SharpCapture(c.format, c.colour));
        EXPECT_FALSE(g.s->form.SubPixelStack.Checked);  // off unless asked for
        const double whole = StackPsnr(g);
        g.s->form.SubPixelStack.Checked = true;
        const double sub = StackPsnr(g);
        std::printf("[ figures ] %s: PSNR whole-pixel %.2f dB, sub-pixel %.2f dB\n", name.c_str(), whole, sub);
        EXPECT_GT(sub, whole + 0.2);
    }
}

TEST(SubPixelStacking, WholeShiftsGiveTheWholePixelStackExactly) {
    // With shifts that have no fraction (or no sub-pixel shift at all) every option gives the
    // same sums and coverage as the whole-pixel stack: the same pixels, the same edges.
    const struct {
        std::string name;
        capture::CaptureFormat format;
        bool colour, expand, dark;
    } cases[] = {
        {"plain mono", capture::CaptureFormat::Bmp, false, false, false},
        {"colour", capture::CaptureFormat::Bmp, true, false, false},
        {"expanded", capture::CaptureFormat::Bmp, false, true, false},
        {"dark frame", capture::CaptureFormat::Bmp, true, false, true},
        {"fits", capture::CaptureFormat::Fits, false, false, false},
        {"tiff", capture::CaptureFormat::Tiff, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        capture::CaptureOptions o = SharpCapture(c.format, c.colour);
        o.frames = 5;
        o.width = 48;
        o.height = 40;
        GeneratedStack g(o);
        Session& s = *g.s;
        for (int k = 0; k < o.frames; ++k) {
            FrameRecord& r = s.ws.Frames[std::size_t(k)];
            // Frame 1 was never refined: its sub-pixel shift is empty and the whole one counts.
            r.SubShiftX = k == 1 ? 0.0f : float(r.ShiftX);
            r.SubShiftY = k == 1 ? 0.0f : float(r.ShiftY);
        }
        s.ws.Frames[1].ShiftX = 2;
        s.form.Expandstack.Checked = c.expand;
        if (c.dark) {
            s.form.UseDarkFrame.Checked = true;
            s.ws.DarkWidth = s.ws.DarkHeight = 30;  // smaller than the frames: edges uncorrected
            for (auto& plane : s.ws.DarkPlanes) {
                plane.Create(30, 30);
                plane.Fill(640);  // 5 grey levels
            }
        }
        s.Dispatch("Stackbutton", Event::Click);
        std::vector<std::vector<float>> whole;
        for (auto* plane : {&s.ws.ExtraPlane, &s.ws.StackSum[0], &s.ws.StackSum[1], &s.ws.StackSum[2]})
            whole.emplace_back(plane->Data(), plane->Data() + plane->ElementCount());
        s.form.SubPixelStack.Checked = true;
        s.Dispatch("Stackbutton", Event::Click);
        int p = 0;
        for (auto* plane : {&s.ws.ExtraPlane, &s.ws.StackSum[0], &s.ws.StackSum[1], &s.ws.StackSum[2]}) {
            const std::vector<float> sub(plane->Data(), plane->Data() + plane->ElementCount());
            EXPECT_EQ(sub, whole[std::size_t(p)]) << "plane " << p;
            ++p;
        }
    }
}

TEST(SubPixelStacking, IsAStoredSetting) {
    testing::StartedSession t;
    Session& s = t.Start();
    EXPECT_EQ(s.form.SubPixelStack.Caption, "Sub-pixel stacking");
    s.form.SubPixelStack.Checked = true;
    s.Close();
    EXPECT_TRUE(t.Start().form.SubPixelStack.Checked);
}

TEST(Drizzle, WithTheSubPixelEstimateIsBetterThanPlainDrizzle) {
    // Judged on the drizzled grid itself, against the truth brought to that grid.
    for (const bool colour : {false, true}) {
        SCOPED_TRACE(colour ? "colour" : "mono");
        GeneratedStack g(SharpCapture(colour ? capture::CaptureFormat::AviRgb : capture::CaptureFormat::AviGrey, colour));
        Session& s = *g.s;
        const Bitmap24 truth = TruthOnDrizzleGrid(g.truth);
        s.form.Drizzling.Checked = s.form.Drizzle2.Checked = true;
        s.Dispatch("Stackbutton", Event::Click);
        const double plain = FittedPsnr(s.form.Stackimage.Image, truth, 16);
        s.form.SubPixelEstimate.Checked = true;
        s.Dispatch("Stackbutton", Event::Click);
        const double estimated = FittedPsnr(s.form.Stackimage.Image, truth, 16);
        // Sub-pixel stacking places the drops the same way.
        s.form.SubPixelEstimate.Checked = false;
        s.form.SubPixelStack.Checked = true;
        s.Dispatch("Stackbutton", Event::Click);
        const double stacked = FittedPsnr(s.form.Stackimage.Image, truth, 16);
        std::printf("[ figures ] drizzle %s: plain %.2f dB, with the sub-pixel estimate %.2f dB\n",
                    colour ? "colour" : "mono", plain, estimated);
        EXPECT_GT(estimated, plain + 0.5);
        EXPECT_EQ(stacked, estimated);
    }
}

TEST(Drizzle, DropsLandWhereTheirContentBelongs) {
    // Source pixel x + Dx lands at x + F, its true place x + Dx - shift, with F in [0, 1).
    const struct {
        double shift, factor;
        int whole;
        float fraction;
    } cases[] = {
        {2.0, 1, 2, 0.0f}, {2.3, 1, 3, 0.7f}, {-0.3, 1, 0, 0.3f}, {-1.7, 1, -1, 0.7f}, {-2.0, 1, -2, 0.0f},
        {3.0, 2, 2, 0.5f},  // a resampled alignment's shift, in half pixels
    };
    for (const auto& c : cases) {
        const DrizzleDrop d = DropOf({c.shift, -c.shift}, c.factor);
        EXPECT_EQ(d.Dx, c.whole) << c.shift;
        EXPECT_NEAR(d.Fx, c.fraction, 1e-6) << c.shift;
        EXPECT_NEAR(d.Dy - d.Fy, -c.shift / c.factor, 1e-6) << c.shift;
        EXPECT_GE(d.Fy, 0.0f);
        EXPECT_LT(d.Fy, 1.0f);
    }
    // A drop spanning a whole cell gives that cell its full share: 0.45 .. 1.25 covers
    // 0.05 of cell 0, all 0.5 of cell 1 and 0.25 of cell 2 on each axis.
    float share[4] = {};
    for (const DrizzleCell& cell : DrizzleWeights(0.45f, 0.45f, 0.8f)) share[cell.I] += cell.Weight;
    EXPECT_NEAR(share[0], 0.05f / 0.8f, 1e-5);
    EXPECT_NEAR(share[1], 0.5f / 0.8f, 1e-5);
    EXPECT_NEAR(share[2], 0.25f / 0.8f, 1e-5);
}

TEST(SubPixelSampler, ReadsRampsWhereAskedAndFlatAreasFlat) {
    // A ramp read at x + shift gives the ramp's value there, away from the edges, to within
    // Lanczos' own 0.02-pixel bias; the destination range keeps every position inside the source.
    const int w = 20, h = 12;
    for (const double shift : {0.0, 0.25, 0.5, -1.75, 3.4}) {
        SCOPED_TRACE(shift);
        SubPixelSampler sampler;
        sampler.Begin(2, w, h, shift, -shift, 0, w - 1, 0, h - 1, [&](int row, float* const* out) {
            for (int x = 0; x < w; ++x) {
                out[0][x] = float(x + 2 * row);
                out[1][x] = 7.0f;
            }
        });
        EXPECT_GE(sampler.FirstColumn() + shift, 0.0);
        EXPECT_LE(sampler.LastColumn() + shift, w - 1.0);
        EXPECT_EQ(sampler.LastColumn() - sampler.FirstColumn(), w - 1 - (shift == std::floor(shift) ? 0 : 1));
        for (int y = sampler.FirstRow(); y <= sampler.LastRow(); ++y) {
            sampler.ReadRow(y);
            for (int x = sampler.FirstColumn(); x <= sampler.LastColumn(); ++x) {
                const double u = x + shift, v = y - shift;
                EXPECT_NEAR(sampler.Row(1)[x - sampler.FirstColumn()], 7.0f, 1e-4);
                if (u >= 3 && u <= w - 4 && v >= 3 && v <= h - 4) {
                    EXPECT_NEAR(sampler.Row(0)[x - sampler.FirstColumn()], u + 2 * v, 0.07) << x << "," << y;
                }
            }
        }
    }
}

TEST(ResampledFits, StacksTheSamplesInFullPrecision) {
    // Resample is offered for 8-bit input only, but a settings file or the command line can
    // still ask for it with FITS frames: the FITS samples are resampled like the picture.
    capture::CaptureOptions o = SharpCapture(capture::CaptureFormat::Fits);
    o.frames = 6;
    o.width = 64;
    o.height = 48;
    GeneratedStack fits(o);
    o.format = capture::CaptureFormat::Bmp;
    GeneratedStack bmp(o);
    for (GeneratedStack* g : {&fits, &bmp}) {
        g->s->form.Resampled.Checked = true;
        g->s->form.ResampleSpin.Value = 2;
        g->s->Dispatch("Stackbutton", Event::Click);
        ASSERT_TRUE(g->s->ws.StackReady);
        ASSERT_EQ(g->s->form.Stackimage.Image.Width(), 127);
    }
    const double agreement = FittedPsnr(fits.s->form.Stackimage.Image, bmp.s->form.Stackimage.Image, 8);
    std::printf("[ figures ] resampled FITS against resampled BMP: %.2f dB\n", agreement);
    EXPECT_GT(agreement, 35.0);

    // With sub-pixel stacking too, the resampled FITS stack stays in place.
    fits.s->form.SubPixelStack.Checked = bmp.s->form.SubPixelStack.Checked = true;
    fits.s->Dispatch("Stackbutton", Event::Click);
    bmp.s->Dispatch("Stackbutton", Event::Click);
    EXPECT_GT(FittedPsnr(fits.s->form.Stackimage.Image, bmp.s->form.Stackimage.Image, 8), 35.0);
}

TEST(ColourFits, EachFrameGoesToThePlaneOfItsColour) {
    // A "_L" frame is luminance: it belongs in the fourth plane, not in blue.
    const struct {
        std::string suffix;
        int plane;
    } cases[] = {{"_R", 0}, {"_G", 1}, {"_B", 2}, {"_L", 3}};
    for (const bool resampled : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.suffix + (resampled ? " resampled" : ""));
            testing::StartedSession t;
            Session& s = t.Start();
            const int w = 24, h = 20;
            std::vector<uint16_t> grey(std::size_t(w) * h, 20000);
            std::vector<std::string> files;
            for (int k = 0; k < 2; ++k) {
                const auto file = t.appDir / ("m" + std::to_string(k) + c.suffix + ".fit");
                capture::WriteWholeFile(file, capture::EncodeFits16(w, h, grey));
                files.push_back(file.string());
            }
            t.host.Answers.push_back(Answer::No);
            OpenInput(s, files, 3);
            s.form.ColourStack.Checked = true;
            s.form.Resampled.Checked = resampled;
            s.form.ResampleSpin.Value = 1.5;
            for (int k = 0; k < 2; ++k) s.ws.Ranking[std::size_t(k)] = {k, 1, 0};
            s.form.StackSlider.MaxValue = s.form.StackSlider.Value = 1;
            s.Dispatch("Stackbutton", Event::Click);
            ASSERT_TRUE(s.ws.StackReady);
            const int x = s.ws.ImageWidth / 2, y = s.ws.ImageHeight / 2;
            for (int p = 0; p < 4; ++p) {
                const float v = s.ws.StackSum[std::size_t(p)].Get(x, y);
                if (p == c.plane) EXPECT_NEAR(v, 20000.0f, 20.0f) << "plane " << p;
                else EXPECT_EQ(v, 0.0f) << "plane " << p;
            }
        }
    }
}

}  // namespace
}  // namespace talvenor
