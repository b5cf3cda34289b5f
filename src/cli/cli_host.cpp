#include "cli/cli_host.h"

#include <ostream>

#include "workspace/text_util.h"

namespace talvenor {

CliHost::CliHost(std::ostream& err) {
    OnMessage = [&err](const Shown& m) {
        err << "[" << MsgKindName(m.Kind) << "] " << Trim(m.Text) << " -> " << AnswerName(m.Taken) << "\n";
    };
    OnLog = [&err](MsgKind kind, const std::string& line) { err << "[" << MsgKindName(kind) << "] " << line << "\n"; };
}

bool IsOverwriteQuestion(std::string_view text) { return text.find("Overwrite existing") != std::string_view::npos; }

Answer CliHost::Message(MsgKind kind, std::string_view text, Buttons buttons) {
    // Left to the natural default, a yes-or-no question is answered yes: a script that ran
    // twice would replace last night's result without anyone having said so.
    if (IsOverwriteQuestion(text)) Answers.push_front(Force ? Answer::Yes : Answer::No);
    return ScriptedHost::Message(kind, text, buttons);
}

}  // namespace talvenor
