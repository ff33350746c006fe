#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace sonavista {

// How the overlay covers the screen: a horizontal band, or the whole screen on a frosted
// backdrop. The raw value is the case name.
enum class OverlayDisplayMode {
    compact,
    fullscreenFog,
};

inline constexpr std::array<OverlayDisplayMode, 2> allOverlayDisplayModes = {
    OverlayDisplayMode::compact,
    OverlayDisplayMode::fullscreenFog,
};

std::string_view rawValue(OverlayDisplayMode mode);
// Exact, case-sensitive match of "compact" or "fullscreenFog".
std::optional<OverlayDisplayMode> overlayDisplayModeFromRawValue(std::string_view raw);

}  // namespace sonavista
