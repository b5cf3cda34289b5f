#pragma once
// A floating tool window of the main window, showing the controls that sit on it. Its
// visibility and position follow its ToolWindow control; closing or moving it by hand runs
// the window's Close or Moved handlers.
#include <QWidget>

namespace talvenor {

class Binder;
class ToolWindow;

class ToolWindowWidget : public QWidget {
public:
    ToolWindowWidget(Binder& binder, ToolWindow& window, QWidget* owner);

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void Push();
    Binder& binder_;
    ToolWindow& window_;
    bool placing_ = false;
};

}  // namespace talvenor
