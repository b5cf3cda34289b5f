#pragma once
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_session.h"
#include "cli/stage_meter.h"

namespace talvenor {

// What aligning and stacking took.
struct StackRun {
    std::pair<int, int> feature;
    int stacked = 0;
    int optimizeRuns = 0;
    int points = 0, failedShifts = 0;  // alignment points of the stack (0: the global stack)
    // The alignment pass without its optimizer, the optimizer, the stack.
    StageCost align, optimize, stack;
};

// The frames of the input as the user gave them (a single still is held as two copies of
// itself).
int InputFrameCount(const Workspace& ws);

// Opens the inputs, loads the calibration frames, aligns (with the optimizer), cuts and
// stacks as the options say; throws when nothing was stacked.
StackRun StackFromOptions(CliSession& cli, const CliOptions& options, std::ostream& err);

// `stack INPUT... -o OUT [--keep N|P%] [--dark F] [--flat F] [--resample F] [--drizzle]
// [--expand] [--json] ...`: align, optimise, cut, stack and save by OUT's extension.
// The alignment points' part of the summary line (empty for a global stack) and of --json.
std::string PointsSummary(const StackRun& run);
std::string PointsJson(const StackRun& run);
// "seconds", "cpu_seconds" and "bytes_read" of --json: align, optimize, stack, the command's own
// last stage (save, wavelets) and the total, each as an object of the stages.
std::string StageCostsJson(const StackRun& run, const NamedCost& last, const StageCost& total);

int RunStackCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace talvenor
