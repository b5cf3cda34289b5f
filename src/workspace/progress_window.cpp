#include "workspace/progress_window.h"

#include <algorithm>

namespace talvenor {

void ShowProgress(Controls& form, Host& host, std::string_view title, std::string_view unit) {
    PassProgress& p = form.StatusProgress;
    p.Running = true;
    p.Title = title.substr(0, title.find_last_not_of(' ') + 1);
    p.Unit = unit;
    p.Done = p.Total = 0;
    p.StartMs = p.NowMs = host.NowMs();
    form.MessageWinlabel.Caption = title;
    form.Messagewinlabel2.Caption.clear();
    form.Progressgraph.Progress = 0;
    form.MessageWindow.Visible = true;
    host.Repaint(&form.MessageWindow);
}

void SetProgress(Controls& form, Host& host, long long done, long long total, std::string_view detail) {
    // Rounded to the nearest percent, halves up: one layer of six shows 17 %.
    int percent = total > 0 ? int(std::clamp((done * 200 + total) / (2 * total), 0LL, 100LL)) : 0;
    bool changed = percent != form.Progressgraph.Progress;
    PassProgress& p = form.StatusProgress;
    // A count that starts again is the pass's next round (alignment-point stacking reads the
    // frames twice): its rate starts again with it.
    if (done < p.Done) p.StartMs = host.NowMs();
    p.Done = done;
    p.Total = total;
    p.NowMs = host.NowMs();
    form.Progressgraph.Progress = percent;
    if (!detail.empty() && detail != form.Messagewinlabel2.Caption) {
        form.Messagewinlabel2.Caption = detail;
        changed = true;
    }
    if (changed) host.Repaint(&form.MessageWindow);
}

void HideProgress(Controls& form, Host& host) {
    form.StatusProgress.Running = false;
    form.MessageWindow.Visible = false;
    host.Repaint(&form.MessageWindow);
}

void BitBtn2Click(Controls& form, Workspace& ws, Host& host, bool passRunning) {
    // With nothing running there is nothing to cancel, and a question would only suggest
    // otherwise.
    if (!passRunning) return;
    ws.CancelRequested = host.Message(MsgKind::Confirmation, "Do you want to cancel ?", Buttons::YesNo) == Answer::Yes;
    const bool counting = form.StatusProgress.Running;
    HideProgress(form, host);
    // After No the pass goes on, and the status bar keeps following it.
    form.StatusProgress.Running = counting && !ws.CancelRequested;
    host.SetCursor(CursorKind::Default);
}

void ProgressCancelClick(Controls& form, Workspace& ws, Host& host, bool passRunning) {
    // Pressed on the window of the running operation itself: no question, the pass stops
    // at its next frame.
    if (!passRunning) return;
    ws.CancelRequested = true;
    HideProgress(form, host);
    host.SetCursor(CursorKind::Default);
}

}  // namespace talvenor
