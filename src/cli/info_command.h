#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace talvenor {

// `info FILE...`: one block per file. Every file is reported even when an earlier one
// fails; the exit code is 1 when any failed.
int RunInfoCommand(const std::vector<std::string>& files, std::ostream& out, std::ostream& err);

}  // namespace talvenor
