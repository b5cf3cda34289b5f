#include "cli/stack_command.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "cli/align_command.h"
#include "cli/cli_session.h"
#include "cli/json_text.h"
#include "input/dark_flat.h"
#include "registration/quality.h"
#include "session/project_files.h"
#include "session/stacking_handlers.h"
#include "stacking/alignment_point_stack.h"
#include "stacking/stacker.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {


// The Stacking page's save type for an output name: 1 BMP, 2 JPEG, 3 FIT (16-bit),
// 5 the fixed-point FITS, 6 TIFF, 7 PNG (16-bit).
int SaveType(const std::string& path) {
    const std::string ext = ToLower(fs::path(path).extension().string());
    if (ext == ".bmp") return 1;
    if (ext == ".jpg" || ext == ".jpeg") return 2;
    if (ext == ".fit" || ext == ".fits") return 3;
    if (ext == ".fitr") return 5;
    if (ext == ".tif" || ext == ".tiff") return 6;
    if (ext == ".png") return 7;
    throw Error(path + ": the output must end in .bmp, .jpg, .fit, .fitr, .tif or .png");
}

int CalibrationType(const std::string& path) {
    const std::string ext = ToLower(fs::path(path).extension().string());
    if (ext == ".bmp") return 1;
    if (ext == ".fitr") return 2;
    if (ext == ".fit" || ext == ".fits" || ext == ".fts") return 3;
    throw Error(path + ": a dark frame or flat field is a .bmp, .fit or .fitr file");
}

// The last ranking position kept: N frames, P % of the selected frames, or the automatic
// cut of "Align && stack".
int CutRank(const Session& s, const std::string& keep) {
    const int selected = std::max(1, s.ws.SelectedCount);
    if (keep.empty()) return AlignAndStackCut(s.ws, s.ws.SelectedCount, s.form.OptimizeQualitySpin.Value * 0.01);
    if (keep.back() == '%') {
        auto p = ParseNumber(keep.substr(0, keep.size() - 1));
        if (!p || *p <= 0 || *p > 100) throw Error("--keep P% needs a percentage from 0 to 100, not \"" + keep + "\"");
        return std::clamp(int(std::lrint(*p * 0.01 * selected)) - 1, 0, selected - 1);
    }
    auto n = ParseInteger(keep);
    if (!n || *n < 1) throw Error("--keep needs a number of frames or a percentage, not \"" + keep + "\"");
    return std::clamp(int(*n) - 1, 0, selected - 1);
}

}  // namespace

std::string PointsSummary(const StackRun& run) {
    if (run.points == 0) return " (global stack)";
    return " at " + std::to_string(run.points) + " alignment points (" + std::to_string(run.failedShifts) +
           " local shifts from neighbours)";
}

std::string PointsJson(const StackRun& run) {
    return "\"alignment_points\": " + std::to_string(run.points) + ", \"failed_local_shifts\": " +
           std::to_string(run.failedShifts) + ", ";
}

std::string StageCostsJson(const StackRun& run, const NamedCost& last, const StageCost& total) {
    const auto stages = [&](char measure) {
        return StageJson({{"align", run.align}, {"optimize", run.optimize}, {"stack", run.stack}, last, {"total", total}}, measure);
    };
    return "\"seconds\": " + stages('w') + ", \"cpu_seconds\": " + stages('c') + ", \"bytes_read\": " + stages('b');
}

int InputFrameCount(const Workspace& ws) { return ws.SingleFrameCase ? 1 : ws.LastFrame + 1; }

StackRun StackFromOptions(CliSession& cli, const CliOptions& options, std::ostream& err) {
    Session& s = cli.session();
    StackRun run;
    // The optimizer runs inside the alignment pass; time it on its own.
    const auto optimize = s.seams.Optimize;
    s.seams.Optimize = [&run, optimize] {
        const StageCost t = CostNow();
        const double total = optimize();
        run.optimize += CostSince(t);
        ++run.optimizeRuns;
        return total;
    };

    const StageCost start = CostNow();
    if (!options.dark.empty()) {
        LoadDarkFrame(s.ctx, options.dark, CalibrationType(options.dark), false);
        s.form.UseDarkFrame.Checked = true;
    }
    if (!options.flat.empty()) {
        LoadFlatField(s.ctx, options.flat, CalibrationType(options.flat), false);
        s.form.UseFlatfield.Checked = true;
    }
    run.feature = OpenAndAlign(cli, options, err);
    // Asked for by name, the points are not silently left out.
    if (options.pointsAsked)
        if (const std::string refusal = PointsRefusal(s.ctx); !refusal.empty()) throw Error("--ap on: " + refusal);
    run.align = CostSince(start) - run.optimize;
    s.seams.Optimize = optimize;

    const StageCost stackStart = CostNow();
    if (s.ws.SingleFrameCase) {
        // Opening made the stack; settings given after the opening (colour, resampling) are
        // taken into it by making it again.
        if (options.pointsAsked) throw Error("--ap on: a single picture has no frames to align at points");
        s.seams.StackSingleImage();
    } else {
        s.form.StackSlider.Value = CutRank(s, options.keep);
        // The table has a shift for every frame measured; the stack itself needs only the chosen.
        s.points.ShiftsOfEveryFrame = !options.pointsCsv.empty();
        Stack(s);
    }
    run.stack = CostSince(stackStart);
    // Counted after the stack: a frame that could not be read there is left out of it.
    run.stacked = int(StackedRanks(s.ctx).size());
    if (!s.ws.StackReady) throw Error("nothing was stacked");
    if (s.points.LastStackUsedPoints) {
        run.points = int(s.points.Points.size());
        run.failedShifts = s.points.FailedShifts;
    }
    if (!options.pointsCsv.empty()) WriteAlignmentPointCsv(s.ctx, s.points, cli.outputs().Add(options.pointsCsv));
    return run;
}

int RunStackCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const CliOptions options = ParseCliOptions(args);
    if (options.output.empty()) throw Error("stack needs -o OUT (.bmp, .jpg, .fit, .fitr, .tif or .png)");
    const int saveType = SaveType(options.output);
    CliSession cli(err);
    cli.GuardOutputs(options);
    Session& s = cli.session();
    const StageCost start = CostNow();
    const StackRun run = StackFromOptions(cli, options, err);
    // Saving one picture as its own stack would only rescale its levels.
    if (s.ws.SingleFrameCase)
        throw Error(options.inputs[0] + " is a single picture: one picture needs no stacking (process " +
                    "sharpens it, convert changes its file type)");

    const StageCost saveStart = CostNow();
    cli.host().SaveChoices.push_back(FileChoice{{fs::absolute(options.output).string()}, saveType});
    SaveButtonClick(s);
    if (!options.shiftsCsv.empty()) WriteShiftsCsv(options.shiftsCsv, cli);
    if (!options.project.empty()) SaveProjectClick(s, fs::absolute(options.project));
    cli.CommitOutputs();
    const StageCost save = CostSince(saveStart);

    const Workspace& ws = s.ws;
    const std::string stackedOf = std::to_string(run.stacked) + " of " + std::to_string(InputFrameCount(ws));
    const std::string size = std::to_string(ws.ImageWidth) + " x " + std::to_string(ws.ImageHeight);
    if (options.json) {
        out << "{\"frames\": " << InputFrameCount(ws) << ", \"selected\": " << ws.SelectedCount << ", \"stacked\": " << run.stacked
            << ", " << PointsJson(run) << "\"feature\": [" << run.feature.first << ", " << run.feature.second
            << "], \"box\": " << ws.AlignBoxSize << ", \"size\": [" << ws.ImageWidth << ", " << ws.ImageHeight
            << "], \"output\": " << JsonString(options.output) << ", \"optimizer_runs\": " << run.optimizeRuns
            << ", " << StageCostsJson(run, {"save", save}, CostSince(start)) << "}\n";
    } else {
        out << "stacked " << stackedOf << " frames" << PointsSummary(run) << " (" << size << ") into " << options.output
            << "; align " << Fixed(run.align.wall, 2) << " s, optimise " << Fixed(run.optimize.wall, 2) << " s, stack "
            << Fixed(run.stack.wall, 2) << " s\n";
    }
    return 0;
}

}  // namespace talvenor
