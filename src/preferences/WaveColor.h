#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "preferences/RGBColor.h"
#include "preferences/WaveColorGroup.h"

namespace sonavista {

// The colour presets of the waveform, in declaration order. The raw value of each case is its
// name and is its stored form.
enum class WaveColor {
    black,
    white,
    cyan,
    pink,
    blue,
    purple,
    green,
    orange,
    yellow,
    aurora,
    ocean,
    sunset,
    neon,
    candyPop,
    limePulse,
    mintGrape,
    coralSky,
};

inline constexpr std::array<WaveColor, 17> allWaveColors = {
    WaveColor::black,  WaveColor::white,    WaveColor::cyan,      WaveColor::pink,      WaveColor::blue,
    WaveColor::purple, WaveColor::green,    WaveColor::orange,    WaveColor::yellow,    WaveColor::aurora,
    WaveColor::ocean,  WaveColor::sunset,   WaveColor::neon,      WaveColor::candyPop,  WaveColor::limePulse,
    WaveColor::mintGrape, WaveColor::coralSky,
};

std::string_view rawValue(WaveColor preset);
// Exact, case-sensitive match against the raw values ("candyPop", not "Candy Pop").
std::optional<WaveColor> waveColorFromRawValue(std::string_view raw);

// The user-visible name, e.g. "Candy Pop".
std::string_view displayName(WaveColor preset);
WaveColorGroup group(WaveColor preset);

// The colour stops from the start of the wave (position 0) to its end (position 1): one, three
// or four opaque colours.
std::span<const RGBColor> colors(WaveColor preset);

// The colour at `position` along the wave: the stops are spaced evenly over 0...1 and blended
// linearly between neighbours. Positions outside 0...1 are clamped; NaN counts as 0.
RGBColor colorAt(WaveColor preset, double position);

}  // namespace sonavista
