#pragma once
// A tool window of the main window, showing the controls that sit on it. It docks beside the
// page (never over its picture) and can be floated or closed; its visibility follows its
// ToolWindow control, and closing it by hand runs the window's Close handlers. While it
// floats, its position and size follow the control, and moving or resizing it runs the
// Moved or Resized handlers.
#include <QDockWidget>

namespace talvenor {

class Binder;
class ToolWindow;

class ToolWindowWidget : public QDockWidget {
public:
    ToolWindowWidget(Binder& binder, ToolWindow& window, QWidget* owner);
    // Shifts a floating window by the main window's move, so it keeps its place beside it.
    void FollowOwner(QPoint delta);
    // Never shown, whatever its control says: the status bar tells what it would.
    void KeepHidden() { keepHidden_ = true; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Push();
    void ReportPosition();
    Binder& binder_;
    ToolWindow& window_;
    bool placing_ = false;
    bool keepHidden_ = false;
    QSize sizeSet_;  // the control's size last applied or reported
};

}  // namespace talvenor
