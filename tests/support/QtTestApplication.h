#pragma once

#include <QApplication>

namespace sonavista::testing {

// The one application object of a Qt test program, on the display-less platform. Created on
// first use; every Qt test calls this before it makes a widget, a pixmap or a font.
QApplication& qtTestApplication();

}  // namespace sonavista::testing
