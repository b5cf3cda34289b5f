#pragma once
// A Host without a screen, for the command line and the tests: it records every message
// with its kind and text, answers from a queue (or a default), hands out scripted file
// choices, and can run a callback at each pump to act during a pass (press Cancel, click).
#include <deque>
#include <functional>
#include <utility>

#include "workspace/host.h"

namespace talvenor {

class ScriptedHost : public Host {
public:
    struct Shown {
        MsgKind Kind;
        std::string Text;
        Buttons Choices;
        Answer Taken;
    };

    // Message boxes
    std::vector<Shown> Messages;
    std::deque<Answer> Answers;              // taken first to last
    std::optional<Answer> DefaultAnswer;     // else OK, or Yes for questions
    std::function<void(const Shown&)> OnMessage;  // e.g. the CLI prints each one

    // Dialogs
    std::deque<std::optional<FileChoice>> OpenChoices, SaveChoices;  // empty queue = cancelled
    std::vector<DialogSpec> OpenRequests, SaveRequests;

    // Pumping and the rest
    std::function<void()> OnPump;
    int PumpCount = 0;
    std::string Caption;
    CursorKind Cursor = CursorKind::Default;
    int RepaintCount = 0;
    int64_t Clock = 0;                       // the time tests see, unless RealClock
    bool RealClock = false;
    std::optional<Bitmap24> Clipboard;

    Answer Message(MsgKind kind, std::string_view text, Buttons buttons) override;
    void PumpMessages() override;
    // Tests act for the user at the pumps (OnPump); without them nobody can click.
    bool Interactive() const override { return bool(OnPump); }
    // Tests look at every frame's pictures; the command line shows none.
    bool ShowProgressPictures = true;
    bool TimeToShowProgress() override { return ShowProgressPictures; }
    void SetCaption(std::string_view caption) override { Caption = caption; }
    void SetCursor(CursorKind cursor) override { Cursor = cursor; }
    std::optional<FileChoice> OpenDialog(const DialogSpec& spec) override;
    std::optional<FileChoice> SaveDialog(const DialogSpec& spec) override;
    void Repaint(const void*) override { ++RepaintCount; }
    int64_t NowMs() override;
    void CopyToClipboard(const Bitmap24& picture) override { Clipboard = picture; }
    // Log lines, in order; OnLog sees each one as it comes (the command line prints them).
    std::vector<std::pair<MsgKind, std::string>> Logged;
    std::function<void(MsgKind, const std::string&)> OnLog;
    void Log(MsgKind kind, std::string_view line) override {
        Logged.emplace_back(kind, std::string(line));
        if (OnLog) OnLog(kind, Logged.back().second);
    }

    // Texts of the messages shown so far, in order.
    std::vector<std::string> MessageTexts() const;
    bool Showed(std::string_view text) const;
};

}  // namespace talvenor
