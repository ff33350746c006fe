#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <tuple>
#include <vector>

#include "visualizer/WaveformScene.h"

namespace sonavista {
namespace {

TEST(WaveformScene, BarCountFollowsWidthWithinBounds) {
    for (const auto& [width, bars] : {std::pair{100.0, 112}, {1440.0, 276}, {4000.0, 640}}) {
        EXPECT_EQ(WaveformScene::barCountForWidth(width), bars) << width;
    }
}

TEST(WaveformScene, WaveAreaByModeIsCentredInThePanel) {
    // Panel width and height, mode, and the wave area's width, height, origin x and y.
    const std::tuple<double, double, OverlayDisplayMode, std::tuple<double, double, double, double>> cases[] = {
        {1440, 8, OverlayDisplayMode::compact, {1440, 1, 0, 3.5}},
        {0, 150, OverlayDisplayMode::compact, {1, 138, -0.5, 6}},
        {2560, 1440, OverlayDisplayMode::fullscreenFog, {2560, 420, 0, 510}},  // capped
        {800, 0, OverlayDisplayMode::fullscreenFog, {800, 0, 0, 0}},
    };
    for (const auto& [width, height, mode, expected] : cases) {
        const WaveformScene s =
            WaveformScene::make({.panelWidth = width, .panelHeight = height, .displayMode = mode, .spectrum = {}});
        EXPECT_EQ(std::tuple(s.wave.width, s.wave.height, s.waveOriginX, s.waveOriginY), expected) << height;
    }
}

// At full level with a full spectrum the tallest bars reach the cap and every bar is opaque;
// non-finite spectra still give bars within the amplitude and the opacity range.
TEST(WaveformScene, BarsStayWithinTheAmplitudeAndOpacityRange) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    WaveformInputs in{
        .panelWidth = 1440, .panelHeight = 150, .audioLevel = 1.0, .motionRate = 2.8, .beatPulse = 1.0, .spectrum = {}};
    for (const std::vector<double>& spectrum : {std::vector(96, 1.0), {nan, nan}, {inf, -inf, inf}, {-inf}}) {
        in.spectrum = spectrum;
        const WaveformScene scene = WaveformScene::make(in);
        for (const WaveformBar& bar : scene.bars) {
            ASSERT_GE(bar.halfHeight, 0.0);  // also fails for NaN
            ASSERT_LE(bar.halfHeight, scene.amplitude);
            ASSERT_GE(bar.opacity, 0.0);
            ASSERT_LE(bar.opacity, 1.0);
        }
    }
    in.spectrum.assign(96, 1.0);
    const WaveformScene full = WaveformScene::make(in);
    const auto capped = [&](const WaveformBar& bar) { return bar.halfHeight == full.amplitude; };
    EXPECT_TRUE(std::ranges::any_of(full.bars, capped));
    EXPECT_TRUE(std::ranges::all_of(full.bars, [](const WaveformBar& bar) { return bar.opacity == 1.0; }));
}

TEST(WaveformScene, SpectrumMappingIsMirroredAboutTheMiddle) {
    std::vector<double> spectrum(96);
    for (std::size_t k = 0; k < spectrum.size(); ++k) spectrum[k] = static_cast<double>(k);
    for (int n : {112, 113, 640}) {
        const auto value = [&](int i) { return WaveformScene::spectrumValue(spectrum, i, n); };
        for (int i = 0; i < n; ++i) EXPECT_EQ(value(i), value(n - 1 - i)) << n << " bars, bar " << i;
        // Outermost bars read the top band with its neighbours below: 92...95.
        EXPECT_DOUBLE_EQ(value(0), 93.5);
    }
    // An odd count has a middle bar, which reads band 0 with bands 1...3.
    EXPECT_DOUBLE_EQ(WaveformScene::spectrumValue(spectrum, 56, 113), 1.5);
    // Short spectra average fewer bands.
    EXPECT_DOUBLE_EQ(WaveformScene::spectrumValue(std::vector<double>{0.2, 0.6}, 0, 112), 0.4);
}

TEST(WaveformScene, SparklesSitBeyondTheTipsOfAFixedSubsetOfTallBars) {
    WaveformInputs in{.panelWidth = 1440, .panelHeight = 150, .audioLevel = 1.0, .spectrum = std::vector(96, 1.0)};
    const WaveformScene scene = WaveformScene::make(in);
    in.motionTime += 3.7;
    const WaveformScene later = WaveformScene::make(in);
    int sparkling = 0;
    for (std::size_t i = 0; i < scene.bars.size(); ++i) {
        const WaveformBar& bar = scene.bars[i];
        if (!bar.hasSparkles) continue;
        ++sparkling;
        EXPECT_GT(bar.halfHeight, 4 * scene.lineWidth) << i;
        EXPECT_GT(bar.sparkleOffset, bar.halfHeight) << i;
        // Sparkles stay with their bars as the wave moves on.
        EXPECT_TRUE(later.bars[i].hasSparkles || later.bars[i].halfHeight <= 4 * later.lineWidth) << i;
    }
    EXPECT_GT(sparkling, scene.barCount / 20);
    EXPECT_LT(sparkling, scene.barCount / 4);
}

TEST(WaveformScene, AudioResponseOffIgnoresTheLiveValuesButKeepsTheSpectrum) {
    const WaveformInputs quiet{.panelWidth = 1440, .panelHeight = 150, .audioResponsive = false,
                               .spectrum = std::vector(96, 0.3)};
    WaveformInputs loud = quiet;
    loud.audioLevel = 0.9;
    loud.motionRate = 2.5;
    loud.beatPulse = 0.8;
    const WaveformScene a = WaveformScene::make(quiet), b = WaveformScene::make(loud);
    const auto shape = [](const WaveformBar& bar) { return std::pair(bar.halfHeight, bar.opacity); };
    for (int i = 0; i < a.barCount; ++i) EXPECT_EQ(shape(a.bars[i]), shape(b.bars[i])) << i;
    loud.spectrum.assign(96, 0.8);  // the spectrum still shapes the wave
    EXPECT_GT(WaveformScene::make(loud).bars[10].halfHeight, a.bars[10].halfHeight);
}

TEST(WaveformScene, RippleTravelsTowardsLargerX) {
    // With a flat spectrum only the ripple varies along the wave; at time 0 its crest lies at 3/8 of
    // the width, so as it moves right the bar at 0.3 shrinks and the one at 0.45 grows.
    WaveformInputs in{.panelWidth = 1000, .panelHeight = 150, .motionTime = 0.0, .spectrum = std::vector(96, 0.5)};
    const WaveformScene now = WaveformScene::make(in);
    in.motionTime = 0.05;
    const WaveformScene later = WaveformScene::make(in);
    const int left = static_cast<int>(0.3 * (now.barCount - 1));
    const int right = static_cast<int>(0.45 * (now.barCount - 1));
    EXPECT_LT(later.bars[left].halfHeight, now.bars[left].halfHeight);
    EXPECT_GT(later.bars[right].halfHeight, now.bars[right].halfHeight);
}

TEST(WaveformScene, GradientsRunAcrossTheWave) {
    // An odd bar count has a bar in the middle.
    const WaveformScene gradient =
        WaveformScene::make({.panelWidth = 5.2 * 113, .panelHeight = 150, .color = WaveColor::aurora, .spectrum = {}});
    ASSERT_EQ(gradient.barCount, 113);
    EXPECT_EQ(gradient.centerLineStops.size(), 3u);
    EXPECT_EQ(gradient.bars.front().color, colors(WaveColor::aurora)[0]);
    EXPECT_EQ(gradient.bars[56].color, colors(WaveColor::aurora)[1]);
    EXPECT_EQ(gradient.bars.back().color, colors(WaveColor::aurora)[2]);
}

}  // namespace
}  // namespace sonavista
