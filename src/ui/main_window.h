#pragma once
// The main window: six pages, the workspace buttons below them, the tool windows docked
// beside the page (or floating), a status bar and the keyboard shortcuts. It can be resized
// and maximised, and made as small as a netbook's screen.
#include <QMainWindow>
#include <vector>

class QTabWidget;

namespace talvenor {

class Binder;
class CompareButton;
class Session;
class StatusLine;
class ToolWindowWidget;

class MainWindow : public QMainWindow {
public:
    // Small enough for a 1024 x 600 screen with a title bar and a panel (the page's controls
    // scroll); the window starts at the size the pages were laid out for where the screen has it.
    static constexpr int kMinWidth = 1000, kMinHeight = 540;
    static constexpr int kStartWidth = 1024, kStartHeight = 703;
    // The size the window starts at on a screen with this free area: the designed size where it
    // fits with the window's frame and title bar, else as much as does (never below the minimum).
    static QSize StartSize(QSize freeArea);

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
    // Backslash held compares the page's picture with the stack, as its "Compare" button does.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void StorePlacement();
    CompareButton* CurrentCompare() const;
    Session& session_;
    Binder& binder_;
    QTabWidget* pages_;
    StatusLine* status_ = nullptr;
    std::vector<ToolWindowWidget*> toolWindows_;
};

}  // namespace talvenor
