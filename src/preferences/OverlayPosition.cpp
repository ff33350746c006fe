#include "preferences/OverlayPosition.h"

namespace sonavista {

std::string_view rawValue(OverlayPosition position) {
    switch (position) {
        case OverlayPosition::top:
            return "top";
        case OverlayPosition::center:
            return "center";
        case OverlayPosition::bottom:
            return "bottom";
    }
    return "center";
}

std::optional<OverlayPosition> overlayPositionFromRawValue(std::string_view raw) {
    for (OverlayPosition position : allOverlayPositions) {
        if (rawValue(position) == raw) {
            return position;
        }
    }
    return std::nullopt;
}

}  // namespace sonavista
