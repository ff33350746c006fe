#include "app/TrayNotice.h"

namespace sonavista {

namespace {

// Whether the colon-separated list names `desktop` (compared without regard to case).
bool names(std::string_view list, std::string_view desktop) {
    while (!list.empty()) {
        const auto colon = list.find(':');
        const auto entry = list.substr(0, colon);
        bool same = entry.size() == desktop.size();
        for (std::size_t i = 0; same && i < entry.size(); ++i) {
            const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
            same = lower(entry[i]) == lower(desktop[i]);
        }
        if (same) return true;
        list = colon == std::string_view::npos ? std::string_view{} : list.substr(colon + 1);
    }
    return false;
}

}  // namespace

std::string TrayNotice::whenMissing(std::string_view currentDesktop) {
    if (names(currentDesktop, "GNOME")) {
        return "No system tray was found: GNOME shows the Sonavista tray icon once the AppIndicator "
               "extension is on (package gnome-shell-extension-appindicator, then Extensions). Until then, "
               "open this window by starting Sonavista again from the application grid.";
    }
    if (names(currentDesktop, "KDE")) {
        return "No system tray was found: add the System Tray widget to a Plasma panel to get the Sonavista "
               "tray icon. Until then, open this window by starting Sonavista again from the application "
               "launcher.";
    }
    if (names(currentDesktop, "sway")) {
        return "No system tray was found: the Sonavista tray icon needs a status bar with tray support "
               "(StatusNotifierItem), for example waybar. Until then, open this window by starting "
               "Sonavista again.";
    }
    return "No system tray was found: the Sonavista tray icon needs a panel or status bar with tray support "
           "(StatusNotifierItem). Until then, open this window by starting Sonavista again.";
}

}  // namespace sonavista
