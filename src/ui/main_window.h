#pragma once
// The main window: six pages, the workspace buttons below them, the tool windows docked
// beside the page (or floating), a status bar and the keyboard shortcuts. It can be resized
// and maximised down to the size the pages were laid out for.
#include <QMainWindow>
#include <vector>

class QTabWidget;

namespace talvenor {

class Binder;
class Session;
class StatusLine;
class ToolWindowWidget;

class MainWindow : public QMainWindow {
public:
    static constexpr int kMinWidth = 1024, kMinHeight = 703;

    MainWindow(Session& session, Binder& binder);
    // Places the window and its tool windows as the settings file remembered them, or
    // centred with the tool windows docked at the right.
    void ApplyPlacement();
    QTabWidget* Pages() const { return pages_; }
    StatusLine& Status() const { return *status_; }
    const std::vector<ToolWindowWidget*>& ToolWindows() const { return toolWindows_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void StorePlacement();
    Session& session_;
    Binder& binder_;
    QTabWidget* pages_;
    StatusLine* status_ = nullptr;
    std::vector<ToolWindowWidget*> toolWindows_;
};

}  // namespace talvenor
