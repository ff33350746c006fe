#pragma once

#include <string>
#include <string_view>

namespace sonavista {

// What the settings window says at launch when no tray host (StatusNotifierItem or XEmbed)
// runs: what the user's desktop offers for tray icons, and how to reach the window meanwhile.
// The desktop is XDG_CURRENT_DESKTOP (a colon-separated list, e.g. "ubuntu:GNOME").
struct TrayNotice {
    static std::string whenMissing(std::string_view currentDesktop);
};

}  // namespace sonavista
