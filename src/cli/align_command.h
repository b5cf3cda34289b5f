#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace talvenor {

class CliSession;
struct CliOptions;

// `align INPUT... [--feature X,Y] [--box N] [--shifts-csv FILE] ...`: opens the input, picks
// the feature (or finds one), runs the alignment pass and reports the shifts.
int RunAlignCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The part the later commands share: open, settings, feature, pass. Returns the feature. A
// single still is left as the stack its opening made, with its centre as the feature.
std::pair<int, int> OpenAndAlign(CliSession& cli, const CliOptions& options, std::ostream& err);

// One row per frame: index, ShiftX, ShiftY, Quality, Difference, rank, excluded, dropped.
void WriteShiftsCsv(const std::string& path, CliSession& cli);

}  // namespace talvenor
