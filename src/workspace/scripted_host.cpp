#include "workspace/scripted_host.h"

#include <chrono>

namespace talvenor {

std::string_view MsgKindName(MsgKind kind) {
    switch (kind) {
        case MsgKind::Warning: return "warning";
        case MsgKind::Error: return "error";
        case MsgKind::Information: return "information";
        case MsgKind::Confirmation: return "confirmation";
    }
    return "message";
}

std::string_view AnswerName(Answer answer) {
    switch (answer) {
        case Answer::Ok: return "OK";
        case Answer::Cancel: return "Cancel";
        case Answer::Yes: return "Yes";
        case Answer::No: return "No";
        case Answer::Abort: return "Abort";
        case Answer::Retry: return "Retry";
        case Answer::Ignore: return "Ignore";
    }
    return "?";
}

namespace {
Answer NaturalDefault(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
        case Buttons::OkCancel: return Answer::Ok;
        // OK would ask for a click nobody can give: carry on as computed.
        case Buttons::OkNo: return Answer::No;
        case Buttons::Yes:
        case Buttons::YesNo:
        case Buttons::YesCancel: return Answer::Yes;
        // "Save first?": nobody is there to choose where; go on as told, without saving.
        case Buttons::YesNoCancel: return Answer::No;
        case Buttons::AbortRetryIgnore: return Answer::Ignore;
    }
    return Answer::Ok;
}
}  // namespace

Answer ScriptedHost::Message(MsgKind kind, std::string_view text, Buttons buttons) {
    Answer a = NaturalDefault(buttons);
    if (!Answers.empty()) {
        a = Answers.front();
        Answers.pop_front();
    } else if (DefaultAnswer) {
        a = *DefaultAnswer;
    }
    Messages.push_back(Shown{kind, std::string(text), buttons, a});
    if (OnMessage) OnMessage(Messages.back());
    return a;
}

void ScriptedHost::PumpMessages() {
    ++PumpCount;
    if (OnPump) OnPump();
}

std::optional<FileChoice> ScriptedHost::OpenDialog(const DialogSpec& spec) {
    OpenRequests.push_back(spec);
    if (OpenChoices.empty()) return std::nullopt;
    auto c = OpenChoices.front();
    OpenChoices.pop_front();
    return c;
}

std::optional<FileChoice> ScriptedHost::SaveDialog(const DialogSpec& spec) {
    SaveRequests.push_back(spec);
    if (SaveChoices.empty()) return std::nullopt;
    auto c = SaveChoices.front();
    SaveChoices.pop_front();
    return c;
}

int64_t ScriptedHost::NowMs() {
    if (RealClock)
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    return Clock;
}

std::vector<std::string> ScriptedHost::MessageTexts() const {
    std::vector<std::string> out;
    for (const auto& m : Messages) out.push_back(m.Text);
    return out;
}

bool ScriptedHost::Showed(std::string_view text) const {
    for (const auto& m : Messages)
        if (m.Text == text) return true;
    return false;
}

}  // namespace talvenor
