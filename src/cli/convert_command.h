#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace talvenor {

// `convert IN OUT [--frame N] [--stretch]`: reads any supported still (or frame N of an
// AVI) with the program's readers and writes it with its writers, by OUT's extension:
// .bmp, .jpg, .tif (48-bit), .png (8 or 16-bit) or .fit (16-bit; one file per channel for colour).
int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace talvenor
