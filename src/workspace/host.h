#pragma once
// The port to the outside world: message boxes, dialogs, message pumping, caption, cursor,
// repainting, the clock and the clipboard. The desktop program implements it with Qt; the
// command line and the tests use ScriptedHost.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/bitmap24.h"

namespace talvenor {

enum class MsgKind { Warning, Error, Information, Confirmation };
enum class Answer { Ok, Cancel, Yes, No, Abort, Retry, Ignore };
enum class Buttons { Ok, OkCancel, OkNo, YesNo, YesCancel, YesNoCancel, AbortRetryIgnore, Yes };
enum class CursorKind { Default, Busy, Cross };

std::string_view MsgKindName(MsgKind kind);
std::string_view AnswerName(Answer answer);

struct DialogSpec {
    std::string Title;
    std::string Filter;        // "Description|*.ext;*.ext2|Description|*.ext3"
    int FilterIndex = 1;       // 1-based
    std::string InitialDir;
    std::string FileName;
    std::string DefaultExt;
    bool MultiSelect = false;
    // Called while the dialog is open, each time the user highlights a file.
    std::function<void(const std::string&)> OnHighlight;
};

struct FileChoice {
    std::vector<std::string> Files;  // in the order the series should take
    int FilterIndex = 1;             // the type the user had chosen
};

class Host {
public:
    virtual ~Host() = default;
    virtual Answer Message(MsgKind kind, std::string_view text, Buttons buttons) = 0;
    // Lets pending user actions run (Cancel, Re-Align, a manual click) during a long pass.
    virtual void PumpMessages() = 0;
    // Waits for the user's next action (a click the program asked for) and lets it run.
    virtual void WaitForUser() { PumpMessages(); }
    // Whether a person is there to answer a request for a click; without one (the command
    // line) the program carries on without waiting.
    virtual bool Interactive() const { return true; }
    // Whether a pass should bring its pictures up to date for this frame: a screen shows a
    // few dozen pictures a second, a pass handles thousands of frames.
    virtual bool TimeToShowProgress() { return true; }
    virtual void SetCaption(std::string_view caption) = 0;
    virtual void SetCursor(CursorKind cursor) = 0;
    virtual std::optional<FileChoice> OpenDialog(const DialogSpec& spec) = 0;
    virtual std::optional<FileChoice> SaveDialog(const DialogSpec& spec) = 0;
    // The picture or control at this address changed and should be shown again.
    virtual void Repaint(const void* control) = 0;
    virtual int64_t NowMs() = 0;
    virtual void CopyToClipboard(const Bitmap24& picture) = 0;
    // A line for the log that needs no answer and must not stop a pass (a frame that could
    // not be read and was left out). The desktop shows it in the status bar.
    virtual void Log(MsgKind kind, std::string_view line) { (void)kind, (void)line; }
};

}  // namespace talvenor
