#pragma once
// A generated capture opened in a started Session as the user would open it, with every
// frame's shifts set to the truth (whole and sub-pixel), ranked in frame order and all of
// them inside the cut-offs: what a perfect alignment pass would leave for the stacker.
#include <algorithm>
#include <cmath>

#include "capture/capture.h"
#include "capture/series_writer.h"
#include "session/input_selection.h"
#include "session/session_fixture.h"

namespace talvenor::testing {

struct GeneratedStack {
    StartedSession t;
    Session* s = nullptr;
    capture::CaptureOptions o;
    std::vector<capture::FrameTruth> plan;
    Bitmap24 truth;

    explicit GeneratedStack(capture::CaptureOptions options) : o(options) {
        s = &t.Start();
        // These tests judge the global stacker's own modes; the points have tests of their own.
        s->form.UseAlignmentPoints.Checked = false;
        o.writeTruth = false;
        const bool avi = capture::IsAvi(o.format);
        const std::filesystem::path out = t.appDir / (avi ? "capture.avi" : "series");
        capture::WriteCapture(out, o);
        capture::CaptureGenerator g(o);
        plan = g.plan();
        capture::FloatImage f;
        g.RenderTruth(f);
        capture::ToBitmap24(f, truth);

        if (avi) {
            OpenInput(*s, {out.string()}, 1);
        } else {
            const capture::SeriesFormat format = o.format == capture::CaptureFormat::Fits   ? capture::SeriesFormat::Fits
                                                 : o.format == capture::CaptureFormat::Tiff ? capture::SeriesFormat::Tiff
                                                                                            : capture::SeriesFormat::Bmp;
            std::vector<std::string> files;
            for (int k = 0; k < o.frames; ++k) files.push_back(capture::SeriesFramePath(out, k, o.frames, format).string());
            std::swap(files.front(), files.back());  // as the input dialog hands them over
            if (format == capture::SeriesFormat::Fits) t.host.Answers.push_back(Answer::No);  // fixed levels
            OpenInput(*s, files, format == capture::SeriesFormat::Fits ? 3 : format == capture::SeriesFormat::Tiff ? 5 : 2);
        }
        s->form.ColourStack.Checked = s->form.Colourprocess2.Checked = o.colour;
        for (int k = 0; k < o.frames; ++k) {
            FrameRecord& r = s->ws.Frames[std::size_t(k)];
            const auto& p = plan[std::size_t(k)];
            r.ShiftX = int(std::nearbyint(p.dx));
            r.ShiftY = int(std::nearbyint(p.dy));
            r.SubShiftX = float(p.dx);
            r.SubShiftY = float(p.dy);
            r.Quality = 1;
            r.Difference = 0;
            s->ws.Ranking[std::size_t(k)] = {k, float(o.frames - k), 0};
        }
        s->form.StackSlider.MaxValue = s->form.StackSlider.Value = o.frames - 1;
        s->form.QualStack.Checked = false;
    }
};

// A capture with little seeing blur and shifts of several pixels with sub-pixel parts: the
// case where placing each frame at its sub-pixel shift shows.
// PSNR in dB of `image` against `reference` over their common area less `border`, after
// fitting the image's brightness to the reference (gain and offset by least squares): a
// stack is scaled to its own brightest pixel, the truth to its own.
inline double FittedPsnr(const Bitmap24& image, const Bitmap24& reference, int border) {
    auto luma = [](const uint8_t* p) { return 0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0]; };
    const int w = std::min(image.Width(), reference.Width()), h = std::min(image.Height(), reference.Height());
    double sa = 0, sb = 0, saa = 0, sab = 0, sbb = 0, n = 0;
    for (int y = border; y < h - border; ++y)
        for (int x = border; x < w - border; ++x) {
            const double a = luma(image.Row(y) + 3 * x), b = luma(reference.Row(y) + 3 * x);
            sa += a, sb += b, saa += a * a, sab += a * b, sbb += b * b, n += 1;
        }
    const double var = saa - sa * sa / n;
    const double gain = var > 0 ? (sab - sa * sb / n) / var : 1;
    // The residual of the fit, sum of (gain a + offset - b)^2, from the same sums.
    const double residual = std::max(0.0, (sbb - sb * sb / n) - gain * (sab - sa * sb / n));
    return residual > 0 ? 10 * std::log10(255.0 * 255.0 * n / residual) : 99.0;
}

inline capture::CaptureOptions SharpCapture(capture::CaptureFormat format, bool colour = false) {
    capture::CaptureOptions o;
    o.format = format;
    o.frames = 16;
    o.width = 128;
    o.height = 96;
    o.seed = 7;
    o.jitter = 2.5;
    o.blurMin = 0.4;
    o.blurMax = 0.6;
    o.noise = 1;
    o.colour = colour;
    return o;
}

}  // namespace talvenor::testing
