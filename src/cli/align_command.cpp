#include "cli/align_command.h"

#include <chrono>
#include <cstdio>
#include <ostream>
#include <sstream>
#include <vector>

#include "cli/cli_session.h"
#include "registration/feature_finder.h"
#include "stacking/alignment_point_stack.h"
#include "workspace/error.h"

namespace talvenor {

namespace {

// Without --box and --feature, a large object stacked globally (no alignment points) is aligned
// on a larger box: a small box's shift follows the part of the object that the seeing bends
// around it, not the object as a whole (a 1920 x 1080 planet 630 pixels across stacked 0.5 dB
// better globally with 256 pixels than with 64). With points, which follow the bending
// themselves, the larger box gained 0.02 dB for twice the alignment time, so it stays. Up to a diameter of about 300 pixels the box stays as it is: on a 290-pixel planet
// 128 pixels graded the frames worse.
void BoxForTheObject(CliSession& cli, std::ostream& err) {
    Session& s = cli.session();
    if (s.form.UseAlignmentPoints.Checked && PointsRefusal(s.ctx).empty()) return;
    const Bitmap24& frame = s.ws.CurrentFrameImage;
    std::vector<float> luma(std::size_t(frame.Width()) * std::size_t(frame.Height()));
    for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < frame.Width(); ++x) {
            const Bgr p = frame.Pixel(x, y);
            luma[std::size_t(y) * std::size_t(frame.Width()) + std::size_t(x)] =
                p.r * s.ws.LumaWeight[0] + p.g * s.ws.LumaWeight[1] + p.b * s.ws.LumaWeight[2];
        }
    const double diameter =
        ObjectDiameter(LumaView{luma.data(), std::size_t(frame.Width()), frame.Width(), frame.Height()}, 0.2);
    // The largest box within about two fifths of the object.
    const int item = diameter * 0.42 >= 256 ? 3 : diameter * 0.42 >= 128 ? 2 : 0;
    if (item <= s.form.FFTsizeGroup.ItemIndex) return;
    // The box must still fit the frame with room to move.
    if ((32 << item) * 2 > std::min(s.ws.ImageWidth, s.ws.ImageHeight)) return;
    cli.Apply({"FFTsizeGroup.ItemIndex=" + std::to_string(item)});
    err << "box: " << (32 << item) << " (for an object " << int(diameter) << " pixels across)\n";
}

}  // namespace

std::pair<int, int> OpenAndAlign(CliSession& cli, const CliOptions& options, std::ostream& err) {
    Session& s = cli.session();
    // Settings first: the box size and colour processing decide how the input is opened.
    cli.Apply(options.settings);
    cli.Open(options.inputs);
    cli.Apply(options.settings);  // a new input resets some of them (the box size for small frames)
    // A single still opens as its own stack: there is nothing to align it with.
    if (s.ws.SingleFrameCase) return {s.ws.AlignX, s.ws.AlignY};
    if (!options.boxGiven && !options.feature) BoxForTheObject(cli, err);

    std::pair<int, int> feature;
    if (options.feature) {
        feature = *options.feature;
    } else {
        auto found = FindAlignmentFeature(s.ws.CurrentFrameImage, s.ws.ImageWidth, s.ws.ImageHeight, s.ws.AlignBoxSize,
                                          s.ws.LumaWeight);
        if (!found)
            throw Error("the frames (" + std::to_string(s.ws.ImageWidth) + " x " + std::to_string(s.ws.ImageHeight) +
                        ") are too small for a " + std::to_string(s.ws.AlignBoxSize) + "-pixel alignment box");
        feature = *found;
        err << "feature: " << feature.first << "," << feature.second << " (found automatically)\n";
    }
    EventArgs click;
    click.X = feature.first;
    click.Y = feature.second;
    click.Button = MouseButton::Left;
    s.Dispatch("PreviewImage", Event::MouseDown, click);
    if (s.ws.ProgStatus != 1)
        throw Error("the alignment feature at " + std::to_string(click.X) + "," + std::to_string(click.Y) +
                    " could not be used (it must lie at least half a box inside the frame)");
    s.Dispatch("Allignallbutton", Event::Click);
    if (s.ws.CancelRequested) throw Error("the alignment pass was cancelled");
    return feature;
}

void WriteShiftsCsv(const std::string& path, CliSession& cli) {
    const Workspace& ws = cli.session().ws;
    std::vector<int> rankOf(std::size_t(ws.LastFrame) + 1, -1);
    for (int r = 0; r <= ws.LastFrame; ++r) {
        const int f = ws.Ranking[std::size_t(r)].FrameIndex;
        if (f >= 0 && f <= ws.LastFrame && rankOf[std::size_t(f)] < 0) rankOf[std::size_t(f)] = r;
    }
    std::ostringstream csv;
    csv << "index,ShiftX,ShiftY,Quality,Difference,rank,excluded,dropped,SubShiftX,SubShiftY\n";
    for (int i = 0; i <= ws.LastFrame; ++i) {
        const FrameRecord& f = ws.Frames[std::size_t(i)];
        char line[200];
        std::snprintf(line, sizeof line, "%d,%d,%d,%.6g,%.6g,%d,%d,%d,%.3f,%.3f\n", i, f.ShiftX, f.ShiftY,
                      double(f.Quality), double(f.Difference), f.Excluded ? -1 : rankOf[std::size_t(i)], int(f.Excluded),
                      int(f.Dropped), double(f.SubShiftX), double(f.SubShiftY));
        csv << line;
    }
    cli.outputs().Add(path).Write(csv.str());
}

int RunAlignCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const CliOptions options = ParseCliOptions(args);
    CliSession cli(err);
    cli.GuardOutputs(options);
    const auto start = std::chrono::steady_clock::now();
    const auto feature = OpenAndAlign(cli, options, err);
    if (cli.session().ws.SingleFrameCase)
        throw Error(options.inputs[0] + " is a single picture: it needs no alignment (process sharpens it as it is)");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!options.shiftsCsv.empty()) WriteShiftsCsv(options.shiftsCsv, cli);
    cli.CommitOutputs();

    const Workspace& ws = cli.session().ws;
    const int best = ws.Ranking[0].FrameIndex;
    if (options.json) {
        out << "{\"frames\": " << ws.LastFrame + 1 << ", \"selected\": " << ws.SelectedCount
            << ", \"feature\": [" << feature.first << ", " << feature.second << "], \"box\": " << ws.AlignBoxSize
            << ", \"best_frame\": " << best << ", \"seconds\": " << seconds << "}\n";
    } else {
        char line[200];
        std::snprintf(line, sizeof line, "aligned %d of %d frames on %d,%d with a %d-pixel box in %.2f s; best frame %d\n",
                      ws.SelectedCount, ws.LastFrame + 1, feature.first, feature.second, ws.AlignBoxSize, seconds, best);
        out << line;
    }
    return 0;
}

}  // namespace talvenor
