#pragma once

namespace sonavista {

// Clamps `value` to [low, high]: values at or below `low`, and NaN, give `low`; values above
// `high` give `high`. Unlike std::clamp it never lets a NaN through.
constexpr double clampToRange(double value, double low, double high) {
    if (value > high) return high;
    return value > low ? value : low;
}

}  // namespace sonavista
