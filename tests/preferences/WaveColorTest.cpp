#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "preferences/WaveColor.h"

namespace sonavista {
namespace {

using W = WaveColor;

RGBColor rgb(double red, double green, double blue) {
    return RGBColor{red / 255.0, green / 255.0, blue / 255.0, 1.0};
}

double channelDistance(const RGBColor& a, const RGBColor& b) {
    return std::max({std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue),
                     std::abs(a.alpha - b.alpha)});
}

TEST(WaveColorTest, BlendPositions) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const RGBColor auroraFirst = colors(W::aurora).front(), auroraLast = colors(W::aurora).back();
    const std::tuple<W, double, RGBColor> rows[] = {
        // Channels blend linearly between neighbouring stops, evenly spaced.
        {W::aurora, 0.25, rgb(40, 177.5, 233.5)},
        {W::aurora, 0.75, rgb(114.5, 112, 251)},
        {W::candyPop, 0.5, rgb(199, 177, 191)},
        // Outside 0...1, and NaN, the wave takes its end stops.
        {W::aurora, -0.3, auroraFirst},
        {W::aurora, 7.0, auroraLast},
        {W::aurora, -inf, auroraFirst},
        {W::aurora, inf, auroraLast},
        {W::aurora, nan, auroraFirst},
        // A single-stop preset is that colour everywhere.
        {W::cyan, 0.7, colors(W::cyan).front()},
        {W::cyan, nan, colors(W::cyan).front()},
    };
    for (const auto& [preset, position, expected] : rows) {
        EXPECT_LE(channelDistance(colorAt(preset, position), expected), 1e-9) << rawValue(preset) << " at " << position;
    }
}

// The settings offer the presets by group: every preset appears in exactly one, its own.
TEST(WaveColorGroupTest, GroupsListEveryPresetOnceInOrder) {
    std::vector<W> concatenated;
    for (WaveColorGroup g : allWaveColorGroups) {
        for (W preset : presets(g)) {
            EXPECT_EQ(group(preset), g) << rawValue(preset);
            concatenated.push_back(preset);
        }
    }
    EXPECT_EQ(concatenated, std::vector<W>(allWaveColors.begin(), allWaveColors.end()));
}

}  // namespace
}  // namespace sonavista
