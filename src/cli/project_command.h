#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace talvenor {

// `project FILE.rsp [-o OUT]`: loads the project (replaying its work) and, with -o, saves the
// image of the page it reached by OUT's extension.
int RunProjectCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace talvenor
