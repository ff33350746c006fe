#include "preferences/WaveColor.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace sonavista {
namespace {

struct PresetInfo {
    std::string_view rawValue;
    std::string_view displayName;
    WaveColorGroup group;
    std::size_t stopCount;
    std::array<RGBColor, 4> stops;
};

constexpr RGBColor rgb(int red, int green, int blue) {
    return RGBColor::fromBytes(red, green, blue);
}

using G = WaveColorGroup;

// Indexed by the enumeration's value.
constexpr std::array<PresetInfo, allWaveColors.size()> presetInfo = {{
    {"black", "Black", G::solid, 1, {rgb(15, 16, 18)}},
    {"white", "White", G::solid, 1, {rgb(250, 250, 250)}},
    {"cyan", "Cyan", G::solid, 1, {rgb(31, 204, 209)}},
    {"pink", "Pink", G::solid, 1, {rgb(255, 77, 145)}},
    {"blue", "Blue", G::solid, 1, {rgb(50, 135, 255)}},
    {"purple", "Purple", G::solid, 1, {rgb(155, 93, 229)}},
    {"green", "Green", G::solid, 1, {rgb(61, 223, 76)}},
    {"orange", "Orange", G::solid, 1, {rgb(255, 140, 90)}},
    {"yellow", "Yellow", G::solid, 1, {rgb(255, 216, 61)}},
    {"aurora", "Aurora", G::gradient, 3, {rgb(19, 216, 212), rgb(61, 139, 255), rgb(168, 85, 247)}},
    {"ocean", "Ocean", G::gradient, 3, {rgb(0, 194, 215), rgb(0, 224, 184), rgb(36, 116, 255)}},
    {"sunset", "Sunset", G::gradient, 3, {rgb(255, 138, 91), rgb(255, 77, 145), rgb(255, 209, 102)}},
    {"neon", "Neon", G::gradient, 3, {rgb(255, 0, 212), rgb(139, 92, 246), rgb(32, 217, 255)}},
    {"candyPop", "Candy Pop", G::contrast, 4,
     {rgb(244, 174, 212), rgb(143, 142, 248), rgb(255, 212, 134), rgb(158, 221, 247)}},
    {"limePulse", "Lime Pulse", G::contrast, 4,
     {rgb(223, 255, 133), rgb(61, 223, 76), rgb(30, 144, 255), rgb(240, 0, 232)}},
    {"mintGrape", "Mint Grape", G::contrast, 4,
     {rgb(165, 236, 178), rgb(10, 215, 176), rgb(142, 49, 217), rgb(47, 208, 211)}},
    // Three stops although it is offered among the contrast presets.
    {"coralSky", "Coral Sky", G::contrast, 3, {rgb(255, 155, 122), rgb(45, 212, 215), rgb(120, 136, 245)}},
}};

const PresetInfo& info(WaveColor preset) {
    return presetInfo.at(static_cast<std::size_t>(preset));
}

double mix(double from, double to, double fraction) {
    return (1.0 - fraction) * from + fraction * to;
}

}  // namespace

std::string_view rawValue(WaveColor preset) {
    return info(preset).rawValue;
}

std::optional<WaveColor> waveColorFromRawValue(std::string_view raw) {
    for (WaveColor preset : allWaveColors) {
        if (rawValue(preset) == raw) {
            return preset;
        }
    }
    return std::nullopt;
}

std::string_view displayName(WaveColor preset) {
    return info(preset).displayName;
}

WaveColorGroup group(WaveColor preset) {
    return info(preset).group;
}

std::span<const RGBColor> colors(WaveColor preset) {
    const PresetInfo& entry = info(preset);
    return std::span<const RGBColor>(entry.stops.data(), entry.stopCount);
}

RGBColor colorAt(WaveColor preset, double position) {
    const std::span<const RGBColor> stops = colors(preset);
    const std::size_t n = stops.size();
    if (n < 2) {
        return stops.front();
    }
    // NaN would make the stop index undefined; it is treated as the start of the wave.
    if (std::isnan(position) || position <= 0.0) {
        position = 0.0;
    } else if (position > 1.0) {
        position = 1.0;
    }
    const double s = position * static_cast<double>(n - 1);
    const std::size_t lower = std::min(n - 1, static_cast<std::size_t>(std::floor(s)));
    const std::size_t upper = std::min(n - 1, lower + 1);
    const double f = s - static_cast<double>(lower);
    const RGBColor& a = stops[lower];
    const RGBColor& b = stops[upper];
    return RGBColor{mix(a.red, b.red, f), mix(a.green, b.green, f), mix(a.blue, b.blue, f),
                    mix(a.alpha, b.alpha, f)};
}

}  // namespace sonavista
