#include "settings/BrowserExtensionStatus.h"

#include <cmath>

namespace sonavista {

std::string BrowserExtensionStatus::text(std::optional<double> secondsSinceLastReport,
                                         std::optional<unsigned> heldPort) {
    const std::string prefix = "Browser extension: ";
    if (heldPort) {
        return prefix + "port " + std::to_string(*heldPort) +
               " is held by another program or user, so browser tabs are not detected";
    }
    if (!secondsSinceLastReport || !std::isfinite(*secondsSinceLastReport)) return prefix + "not seen yet";
    const auto seconds = static_cast<long long>(std::floor(std::max(*secondsSinceLastReport, 0.0)));
    std::string age;
    if (seconds < 120) {
        age = std::to_string(seconds) + " s";
    } else if (seconds < 7200) {
        age = std::to_string(seconds / 60) + " min";
    } else {
        age = std::to_string(seconds / 3600) + " h";
    }
    return prefix + "last report " + age + " ago";
}

}  // namespace sonavista
