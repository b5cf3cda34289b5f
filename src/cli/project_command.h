#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace talvenor {

// `project FILE.rsp|RESULT.fit|RESULT.tif [-o OUT]`: loads the project (or the one a result
// image carries), replaying its work, and with -o saves the image of the page it reached by
// OUT's extension.
int RunProjectCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace talvenor
