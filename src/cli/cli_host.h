#pragma once
// The command line's host: a ScriptedHost that prints every message box as a GUI user would
// see it, and answers the overwrite questions as the user said on the command line (yes with
// --force, else no), since nobody is there to be asked.
#include <iosfwd>
#include <string_view>

#include "workspace/scripted_host.h"

namespace talvenor {

class CliHost : public ScriptedHost {
public:
    explicit CliHost(std::ostream& err);
    // Whether an existing file may be replaced (--force / -y).
    bool Force = false;
    Answer Message(MsgKind kind, std::string_view text, Buttons buttons) override;
};

// Whether a message box asks to replace an existing file (the saves' and the FITS writer's).
bool IsOverwriteQuestion(std::string_view text);

}  // namespace talvenor
