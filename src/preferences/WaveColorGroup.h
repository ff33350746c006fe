#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace sonavista {

enum class WaveColor;

// The sections in which the colour presets are offered, in display order.
enum class WaveColorGroup {
    solid,
    gradient,
    contrast,
};

inline constexpr std::array<WaveColorGroup, 3> allWaveColorGroups = {
    WaveColorGroup::solid,
    WaveColorGroup::gradient,
    WaveColorGroup::contrast,
};

// The caption of the group: "Solid Colors", "Gradients", "Contrast".
std::string_view title(WaveColorGroup group);

// The presets of the group, in preset declaration order.
std::vector<WaveColor> presets(WaveColorGroup group);

}  // namespace sonavista
