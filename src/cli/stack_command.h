#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace talvenor {

// `stack INPUT... -o OUT [--keep N|P%] [--dark F] [--flat F] [--resample F] [--drizzle]
// [--expand] [--json] ...`: align, optimise, cut, stack and save by OUT's extension.
int RunStackCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace talvenor
