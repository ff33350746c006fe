#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace sonavista {

// Where the compact overlay band lies on the screen. The raw value is the case name.
enum class OverlayPosition {
    top,
    center,
    bottom,
};

inline constexpr std::array<OverlayPosition, 3> allOverlayPositions = {
    OverlayPosition::top,
    OverlayPosition::center,
    OverlayPosition::bottom,
};

std::string_view rawValue(OverlayPosition position);
// Exact, case-sensitive match of "top", "center" or "bottom".
std::optional<OverlayPosition> overlayPositionFromRawValue(std::string_view raw);

}  // namespace sonavista
