#pragma once
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace talvenor {

// The options process adds to those of stack, as `talvenor-cli process --help` lists them.
extern const std::string_view kProcessOptions;

// `process INPUT... -o OUT [stack options] [--area N|full] [--gains g1,..,g6] [--scheme
// dyadic|linear] [--initial N] [--step S] [--kernel k,..] [--contrast C] [--brightness B]
// [--gamma G] [--rgb-shift auto|RX,RY,BX,BY] [--lrgb]`: stack as `stack` does, sharpen with the
// wavelet layers and save the processed image by OUT's extension.
int RunProcessCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace talvenor
