#pragma once
// Errors raised inside an operation (a decoder failure, a malformed file, a bad option)
// end the running handler; the GUI and the CLI catch them at the top and show the text.
#include <stdexcept>
#include <string>

namespace talvenor {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace talvenor
