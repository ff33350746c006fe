#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "visualizer/WaveformScene.h"

namespace sonavista {
namespace {

WaveformInputs compactInputs(double width = 1440, double height = 150) {
    WaveformInputs in;
    in.panelWidth = width;
    in.panelHeight = height;
    in.displayMode = OverlayDisplayMode::compact;
    in.motionTime = 1234.5;
    return in;
}

TEST(WaveformScene, BarCountFollowsWidthWithinBounds) {
    for (const auto& [width, bars] : {std::pair{100.0, 112}, {1440.0, 276}, {4000.0, 640}}) {
        EXPECT_EQ(WaveformScene::barCountForWidth(width), bars) << width;
    }
}

TEST(WaveformScene, WaveSizeByModeStaysCentredWithinThePanel) {
    const struct {
        WaveSize panel;
        OverlayDisplayMode mode;
        WaveSize wave;
    } cases[] = {
        {{1440, 8}, OverlayDisplayMode::compact, {1440, 1}},
        {{0, 150}, OverlayDisplayMode::compact, {1, 138}},
        {{2560, 1440}, OverlayDisplayMode::fullscreenFog, {2560, 420}},  // capped
        {{800, 0}, OverlayDisplayMode::fullscreenFog, {800, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.panel.width << "x" << c.panel.height);
        const WaveSize wave = WaveformScene::waveSize(c.panel, c.mode);
        EXPECT_DOUBLE_EQ(wave.width, c.wave.width);
        EXPECT_NEAR(wave.height, c.wave.height, 1e-9);
        // The wave area is centred in the panel.
        WaveformInputs in = compactInputs(c.panel.width, c.panel.height);
        in.displayMode = c.mode;
        const WaveformScene scene = WaveformScene::make(in);
        EXPECT_NEAR(scene.waveOriginY, (c.panel.height - c.wave.height) / 2, 1e-9);
        EXPECT_NEAR(scene.waveOriginX, (c.panel.width - c.wave.width) / 2, 1e-9);
    }
}

TEST(WaveformScene, FullLevelCapsTheTallestBarsAndSaturatesOpacity) {
    WaveformInputs in = compactInputs();
    in.audioLevel = 1.0;
    in.beatPulse = 1.0;
    in.motionRate = 2.8;
    in.spectrum.assign(96, 1.0);
    for (double time : {0.0, 10.0, 123.456}) {
        in.motionTime = time;
        const WaveformScene scene = WaveformScene::make(in);
        int capped = 0;
        for (const WaveformBar& bar : scene.bars) {
            EXPECT_LE(bar.halfHeight, scene.amplitude);
            capped += bar.halfHeight == scene.amplitude;
            EXPECT_DOUBLE_EQ(bar.opacity, 1.0);
        }
        EXPECT_GT(capped, 0) << time;
    }
}

TEST(WaveformScene, SpectrumMappingIsMirroredAboutTheMiddle) {
    std::vector<double> spectrum(96);
    for (std::size_t k = 0; k < spectrum.size(); ++k) spectrum[k] = static_cast<double>(k);
    for (int n : {112, 113, 276, 640}) {
        for (int i = 0; i < n; ++i) {
            EXPECT_DOUBLE_EQ(WaveformScene::spectrumValue(spectrum, i, n), WaveformScene::spectrumValue(spectrum, n - 1 - i, n))
                << n << " " << i;
        }
        // Outermost bars read the top band with its neighbours below: 92...95.
        EXPECT_DOUBLE_EQ(WaveformScene::spectrumValue(spectrum, 0, n), 93.5);
    }
    // An odd count has a middle bar, which reads band 0 with bands 1...3.
    EXPECT_DOUBLE_EQ(WaveformScene::spectrumValue(spectrum, 56, 113), 1.5);
    // Short spectra average fewer bands.
    const std::vector<double> two = {0.2, 0.6};
    EXPECT_DOUBLE_EQ(WaveformScene::spectrumValue(two, 0, 112), 0.4);
    const std::vector<double> one = {0.7};
    EXPECT_DOUBLE_EQ(WaveformScene::spectrumValue(one, 50, 112), 0.7);
}

TEST(WaveformScene, SparklesSitBeyondTheTipsOfAFixedSubsetOfTallBars) {
    WaveformInputs in = compactInputs();
    in.audioLevel = 1.0;
    in.spectrum.assign(96, 1.0);
    const WaveformScene scene = WaveformScene::make(in);
    in.motionTime += 3.7;
    const WaveformScene later = WaveformScene::make(in);
    int sparkling = 0;
    for (int i = 0; i < scene.barCount; ++i) {
        const WaveformBar& bar = scene.bars[static_cast<std::size_t>(i)];
        if (!bar.hasSparkles) continue;
        ++sparkling;
        EXPECT_GT(bar.halfHeight, 4 * scene.lineWidth) << i;
        EXPECT_GT(bar.sparkleOffset, bar.halfHeight) << i;
        // Sparkles stay with their bars as the wave moves on.
        const WaveformBar& next = later.bars[static_cast<std::size_t>(i)];
        EXPECT_TRUE(next.hasSparkles || next.halfHeight <= 4 * later.lineWidth) << i;
    }
    EXPECT_GT(sparkling, scene.barCount / 20);
    EXPECT_LT(sparkling, scene.barCount / 4);
}

TEST(WaveformScene, AudioResponseOffIgnoresTheLiveValuesButKeepsTheSpectrumAndMotion) {
    WaveformInputs quiet = compactInputs();
    quiet.audioResponsive = false;
    quiet.spectrum.assign(96, 0.3);
    WaveformInputs loud = quiet;
    loud.audioLevel = 0.9;
    loud.motionRate = 2.5;
    loud.beatPulse = 0.8;
    const WaveformScene a = WaveformScene::make(quiet), b = WaveformScene::make(loud);
    for (int i = 0; i < a.barCount; ++i) {
        EXPECT_DOUBLE_EQ(a.bars[i].halfHeight, b.bars[i].halfHeight) << i;
        EXPECT_DOUBLE_EQ(a.bars[i].opacity, b.bars[i].opacity) << i;
    }
    loud.spectrum.assign(96, 0.8);  // the spectrum still shapes the wave
    EXPECT_GT(WaveformScene::make(loud).bars[10].halfHeight, a.bars[10].halfHeight);
    quiet.motionTime += 0.5;  // and it moves with time
    EXPECT_NE(WaveformScene::make(quiet).bars[10].halfHeight, a.bars[10].halfHeight);
}

TEST(WaveformScene, RippleTravelsTowardsLargerX) {
    // With a flat spectrum and no pulse, only the motion term varies along the wave. A small time
    // step moves the ripple phase forward, so a bar on a rising slope of the ripple in x grows.
    WaveformInputs in = compactInputs(1000, 150);
    in.spectrum.assign(96, 0.5);
    in.audioLevel = 0.5;
    in.beatPulse = 0.0;
    in.motionTime = 0.0;
    in.motionRate = 1.0;
    const WaveformScene now = WaveformScene::make(in);
    in.motionTime = 0.05;
    const WaveformScene later = WaveformScene::make(in);
    // motion = 0.92 + 0.055 sin(phi - 4p) has its crest at u = 3/8 when phi = 0; as phi grows the
    // crest moves right, so the bar left of it (u = 0.3) shrinks and the one right of it grows.
    const int left = static_cast<int>(0.3 * (now.barCount - 1));
    const int right = static_cast<int>(0.45 * (now.barCount - 1));
    EXPECT_LT(later.bars[left].halfHeight, now.bars[left].halfHeight);
    EXPECT_GT(later.bars[right].halfHeight, now.bars[right].halfHeight);
}

TEST(WaveformScene, SolidColoursPaintEveryBarAndGradientsRunAcrossTheWave) {
    WaveformInputs in = compactInputs();
    in.audioLevel = 0.5;
    in.color = WaveColor::pink;
    const WaveformScene solid = WaveformScene::make(in);
    ASSERT_EQ(solid.centerLineStops.size(), 1u);
    for (const WaveformBar& bar : solid.bars) EXPECT_EQ(bar.color, colors(WaveColor::pink)[0]);

    in.color = WaveColor::aurora;
    in.panelWidth = 5.2 * 113;  // an odd bar count has a bar in the middle
    const WaveformScene gradient = WaveformScene::make(in);
    ASSERT_EQ(gradient.barCount, 113);
    ASSERT_EQ(gradient.centerLineStops.size(), 3u);
    EXPECT_EQ(gradient.bars.front().color, colors(WaveColor::aurora)[0]);
    EXPECT_EQ(gradient.bars[56].color, colors(WaveColor::aurora)[1]);
    EXPECT_EQ(gradient.bars.back().color, colors(WaveColor::aurora)[2]);
}

TEST(WaveformScene, NonFiniteInputsStillGiveBoundedBars) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::vector<double>> spectra = {{nan, nan}, {inf, -inf, inf}, {inf}, {-inf}};
    for (const auto& spectrum : spectra) {
        WaveformInputs in = compactInputs();
        in.spectrum = spectrum;
        const WaveformScene scene = WaveformScene::make(in);
        for (const WaveformBar& bar : scene.bars) {
            ASSERT_TRUE(std::isfinite(bar.halfHeight));
            ASSERT_GE(bar.halfHeight, 0.0);
            ASSERT_LE(bar.halfHeight, scene.amplitude);
            ASSERT_GE(bar.opacity, 0.0);
            ASSERT_LE(bar.opacity, 1.0);
        }
    }
}

}  // namespace
}  // namespace sonavista
