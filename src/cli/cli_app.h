#pragma once
// The headless twin of the desktop program. It runs the same handlers on a Session with a
// ScriptedHost, so a result it gives is the one the desktop program gives.
#include <iosfwd>
#include <string>
#include <vector>

namespace talvenor {

// args without the program name; returns the process exit code.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace talvenor
