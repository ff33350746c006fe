#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "preferences/WaveColor.h"

namespace sonavista {
namespace {

using W = WaveColor;

RGBColor rgb(double red, double green, double blue) {
    return RGBColor{red / 255.0, green / 255.0, blue / 255.0, 1.0};
}

void expectNear(const RGBColor& actual, const RGBColor& expected, double tolerance) {
    EXPECT_NEAR(actual.red, expected.red, tolerance);
    EXPECT_NEAR(actual.green, expected.green, tolerance);
    EXPECT_NEAR(actual.blue, expected.blue, tolerance);
    EXPECT_NEAR(actual.alpha, expected.alpha, tolerance);
}

TEST(WaveColorTest, BlendPositions) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Row {
        W preset;
        double position;
        RGBColor expected;
        double tolerance;
    };
    const RGBColor auroraFirst = colors(W::aurora).front();
    const RGBColor auroraLast = colors(W::aurora).back();
    const Row rows[] = {
        // Channels blend linearly between neighbouring stops, evenly spaced.
        {W::aurora, 0.25, rgb(40, 177.5, 233.5), 1e-12},
        {W::aurora, 0.75, rgb(114.5, 112, 251), 1e-12},
        {W::candyPop, 0.5, rgb(199, 177, 191), 1e-9},
        // Outside 0...1, and NaN, the wave takes its end stops.
        {W::aurora, -0.3, auroraFirst, 0.0},
        {W::aurora, 7.0, auroraLast, 0.0},
        {W::aurora, -inf, auroraFirst, 0.0},
        {W::aurora, inf, auroraLast, 0.0},
        {W::aurora, std::numeric_limits<double>::quiet_NaN(), auroraFirst, 0.0},
        // A single-stop preset is that colour everywhere.
        {W::cyan, 0.7, colors(W::cyan).front(), 0.0},
        {W::cyan, std::numeric_limits<double>::quiet_NaN(), colors(W::cyan).front(), 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(rawValue(row.preset)) + " at " + std::to_string(row.position));
        expectNear(colorAt(row.preset, row.position), row.expected, row.tolerance);
    }
}

TEST(WaveColorTest, BlendHasNoJumps) {
    // Small steps along the wave never jump in colour, including across the stops.
    for (W preset : allWaveColors) {
        RGBColor previous = colorAt(preset, 0.0);
        for (int step = 1; step <= 300; ++step) {
            const RGBColor current = colorAt(preset, step / 300.0);
            const double jump = std::max({std::abs(current.red - previous.red), std::abs(current.green - previous.green),
                                          std::abs(current.blue - previous.blue)});
            EXPECT_LT(jump, 0.02) << rawValue(preset) << " step " << step;
            previous = current;
        }
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
