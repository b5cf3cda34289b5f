#pragma once
// The main window's status bar: the stage the work has reached, the frame counts and how long
// the last operation took. It reads the workspace on a short timer, so it also moves on while
// a pass runs (passes pump messages).
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>

class QLabel;
class QStatusBar;
class QTimer;

namespace talvenor {

class Binder;
struct Workspace;

class StatusLine : public QObject {
public:
    StatusLine(Binder& binder, QStatusBar* bar);
    // Reads the workspace again (the timer calls it; tests call it directly).
    void Refresh();
    QString StageText() const;
    QString FramesText() const;
    QString TimeText() const;

private:
    Binder& binder_;
    QLabel* stage_;
    QLabel* frames_;
    QLabel* time_;
    QTimer* timer_;
    QElapsedTimer running_;
    bool wasBusy_ = false;
    int64_t lastMs_ = -1;
};

// "Stacked", "Aligned", ... for a workspace's progress status.
QString StageOf(const Workspace& ws);
// "3.25 s" / "850 ms".
QString DurationText(int64_t ms);

}  // namespace talvenor
