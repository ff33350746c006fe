#pragma once

#include <functional>
#include <optional>
#include <string>

namespace sonavista {

// What the Browser Players section shows about our browser extension: when it last reported,
// and a way to set it up. Both callbacks run on the main thread; an empty
// `secondsSinceLastReport` leaves the row out.
struct BrowserExtensionStatus {
    // Seconds since the extension's last report; nothing when it has not reported yet.
    std::function<std::optional<double>()> secondsSinceLastReport;
    // Opens the extension folder and the browser's extensions page, with instructions.
    std::function<void()> openSetup;
    // The bridge's port while another program or user holds it; unset or nothing otherwise.
    std::function<std::optional<unsigned>()> portHeldElsewhere;

    // "Browser extension: not seen yet", or "Browser extension: last report 12 s ago" (then
    // minutes from two minutes on and hours from two hours on, each rounded down). A port held
    // elsewhere is said instead: no report can reach us then.
    static std::string text(std::optional<double> secondsSinceLastReport, std::optional<unsigned> heldPort = {});
};

}  // namespace sonavista
