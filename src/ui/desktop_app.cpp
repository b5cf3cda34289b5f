#include "ui/desktop_app.h"

#include <QApplication>
#include <QMessageBox>

#include "session/session.h"
#include "ui/binder.h"
#include "ui/main_window.h"
#include "ui/qt_host.h"
#include "ui/wheel_guard.h"

namespace talvenor {

DesktopApp::DesktopApp(const StartUpEnvironment& env)
    : wheelGuard_(std::make_unique<WheelGuard>()), host_(std::make_unique<QtHost>()) {
    // Before any widget exists: the guard also sets the focus policy of each new control.
    QApplication::instance()->installEventFilter(wheelGuard_.get());
    session_ = std::make_unique<Session>(*host_);
    binder_ = std::make_unique<Binder>(*session_);
    window_ = std::make_unique<MainWindow>(*session_, *binder_);
    host_->Attach(binder_.get(), window_.get());
    session_->seams.ShowMainWindow = [this] {
        binder_->PushAll();
        window_->ApplyPlacement();
        window_->show();
    };
    try {
        StartUp(*session_, env);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "Talvenor", QString::fromUtf8(e.what()));
    }
    binder_->PushAll();
    window_->ApplyPlacement();
}

DesktopApp::~DesktopApp() = default;
Session& DesktopApp::session() { return *session_; }
Binder& DesktopApp::binder() { return *binder_; }
MainWindow& DesktopApp::window() { return *window_; }

}  // namespace talvenor
