#pragma once
// The main window's status bar: the stage the work has reached, the frame counts and how long
// the last operation took; while a pass runs, its progress bar, counts, rate and time left with
// a Cancel button; after a save, the file written. It reads the workspace on a short timer, so
// it also moves on while a pass runs (passes pump messages).
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;

namespace talvenor {

class Binder;
class Session;
struct Workspace;

class StatusLine : public QObject {
public:
    StatusLine(Binder& binder, QStatusBar* bar);
    // Reads the workspace again (the timer calls it; tests call it directly).
    void Refresh();
    QString StageText() const;
    QString FramesText() const;
    QString TimeText() const;
    QString ProgressText() const;
    QString SavedText() const;
    // The pass's bar and its Cancel button (shown only while a pass reports progress).
    QProgressBar* Bar() const { return bar_; }
    QPushButton* CancelButton() const { return cancel_; }

private:
    void RefreshProgress();
    Binder& binder_;
    QLabel* stage_;
    QLabel* frames_;
    QLabel* time_;
    QLabel* saved_;
    QLabel* progress_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    QTimer* timer_;
    QElapsedTimer running_;
    bool wasBusy_ = false;
    int64_t lastMs_ = -1;
};

// "Stacked", "Aligned", ... for the session's progress status and, once stacked, how the
// picture is sharpened.
QString StageOf(const Session& s);
// "3.25 s" / "850 ms".
QString DurationText(int64_t ms);

}  // namespace talvenor
