#pragma once

#include <QApplication>
#include <cstdlib>

namespace sonavista::testing {

// The one application object of a Qt test program, on the display-less platform.
inline QApplication& qtTestApplication() {
    static int argc = 1;
    static char name[] = "sonavista_app_test";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication app(argc, argv);
    return app;
}

}  // namespace sonavista::testing
