// Compiled into every Qt test program (listed among its sources).
#include "support/QtTestApplication.h"

#include <cstdlib>

// Fontconfig keeps its configuration until the process ends (Qt never releases it); that is
// not a leak of ours. Read by LeakSanitizer in sanitizer builds, unused otherwise.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace sonavista::testing {

QApplication& qtTestApplication() {
    static int argc = 1;
    static char name[] = "sonavista_qt_test";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Never destroyed: a QApplication torn down among the other statics at exit crashes
    // once a window was shown.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace sonavista::testing
