#pragma once
// The main window: six pages, the workspace buttons below them and the floating tool
// windows. Fixed at 1024 x 703, as every page is laid out for that size.
#include <QWidget>

class QTabWidget;

namespace talvenor {

class Binder;
class Session;

class MainWindow : public QWidget {
public:
    MainWindow(Session& session, Binder& binder);
    // Places the window as the settings file remembered it, or centred.
    void ApplyPlacement();
    QTabWidget* Pages() const { return pages_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void StorePlacement();
    Session& session_;
    Binder& binder_;
    QTabWidget* pages_;
};

}  // namespace talvenor
