#include <QApplication>

#include "ui/desktop_app.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Talvenor");
    QApplication::setApplicationDisplayName("Talvenor V2.0");
    talvenor::DesktopApp desktop(talvenor::ProcessEnvironment(argc, argv));
    desktop.window().show();
    return QApplication::exec();
}
