#pragma once
// One QApplication for the whole test program, whichever test needs it first. It is never
// destroyed: at process exit Qt's own objects are already gone, and destroying the
// application after them crashes.
#include <QApplication>

namespace talvenor::testing {

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "talvenor-ui-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace talvenor::testing
