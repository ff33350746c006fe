// Compiled into every Qt test program (listed among its sources).
#include "support/QtTestApplication.h"

#include <cstdlib>

// For LeakSanitizer: fontconfig keeps its configuration until the process ends (Qt's doing).
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace sonavista::testing {

QApplication& qtTestApplication() {
    static int argc = 1;
    static char name[] = "sonavista_qt_test";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Never destroyed: torn down among the statics at exit, it crashes once a window was shown.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace sonavista::testing
