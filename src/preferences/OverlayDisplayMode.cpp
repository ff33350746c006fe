#include "preferences/OverlayDisplayMode.h"

namespace sonavista {

std::string_view rawValue(OverlayDisplayMode mode) {
    switch (mode) {
        case OverlayDisplayMode::compact:
            return "compact";
        case OverlayDisplayMode::fullscreenFog:
            return "fullscreenFog";
    }
    return "compact";
}

std::optional<OverlayDisplayMode> overlayDisplayModeFromRawValue(std::string_view raw) {
    for (OverlayDisplayMode mode : allOverlayDisplayModes) {
        if (rawValue(mode) == raw) {
            return mode;
        }
    }
    return std::nullopt;
}

}  // namespace sonavista
