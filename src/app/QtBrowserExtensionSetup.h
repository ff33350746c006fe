#pragma once

#include <QString>

namespace sonavista {

// Helps the user load our browser extension by hand: opens the extension folder in the file
// manager, starts the first browser found with its extensions page, and says in one sentence
// what to do there. Main thread only; never blocks.
class QtBrowserExtensionSetup {
public:
    // The folder holding the unpacked extension for each browser family (chromium/, firefox/):
    // installed beside the executable's prefix (share/sonavista/extension), the build folder's
    // copy, or in the XDG data folders. Empty when none exists.
    static QString extensionFolder();

    static void open();
};

}  // namespace sonavista
