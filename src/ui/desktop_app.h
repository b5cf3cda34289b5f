#pragma once
// Starts the desktop program: the Session, the main window and its tool windows, start-up,
// then the event loop. Kept apart from main() so the GUI tests start it the same way.
#include <memory>

#include "session/startup.h"

namespace talvenor {

class Session;
class Binder;
class MainWindow;
class QtHost;
class WheelGuard;

class DesktopApp {
public:
    explicit DesktopApp(const StartUpEnvironment& env);
    ~DesktopApp();
    Session& session();
    Binder& binder();
    MainWindow& window();

private:
    std::unique_ptr<WheelGuard> wheelGuard_;
    std::unique_ptr<QtHost> host_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<Binder> binder_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace talvenor
