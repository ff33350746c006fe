#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "support/ImageComparison.h"
#include "visualizer/ImageBuffer.h"
#include "visualizer/WaveformRasterizer.h"
#include "visualizer/WaveformScene.h"

namespace sonavista {
namespace {

// Inputs: width, height, time, colour, audio response, mode, level, motion, pulse, spectrum.
WaveformScene makeScene(double width, double height, OverlayDisplayMode mode, double level = 0.7, double pulse = 0.4) {
    return WaveformScene::make(
        {width, height, 321.0, WaveColor::neon, true, mode, level, 1.3, pulse, std::vector(96, level)});
}

TEST(WaveformRasterizer, ImageCoversThePanelAtTheDevicePixelRatio) {
    const std::tuple<double, double, double, std::pair<int, int>> cases[] = {
        {583.9, 150, 1, {584, 150}}, {1000, 110, 1.25, {1250, 138}}, {0.2, 0.2, 1, {1, 1}}};
    for (const auto& [width, height, scale, pixels] : cases) {
        ImageBuffer image;
        WaveformRasterizer().render(makeScene(width, height, OverlayDisplayMode::compact), image, scale);
        EXPECT_EQ(std::pair(image.width(), image.height()), pixels);
    }
}

// A panel cut short of its last bars draws the columns it keeps as the whole panel does: the bars
// at its edge take the column-by-column dash rows. Small ratios put a dash period under a pixel.
TEST(WaveformRasterizer, PanelCutShortDrawsTheColumnsItKeepsAlike) {
    for (const double scale : {1.0, 0.5, 0.3}) {
        const WaveformScene whole = makeScene(300, 60, OverlayDisplayMode::compact, 0.9);
        WaveformScene cut = whole;
        cut.panel.width -= 40;
        ImageBuffer wide, narrow;
        WaveformRasterizer().render(whole, wide, scale);
        WaveformRasterizer().render(cut, narrow, scale);
        const auto differs = [&](int x, int y) {
            return testing::channelDistance(wide.pixel(x, y), narrow.pixel(x, y)) > 1;
        };
        for (int y = 0; y < narrow.height(); ++y) {
            for (int x = 0; x < narrow.width(); ++x) ASSERT_FALSE(differs(x, y)) << x << "," << y << " at " << scale;
        }
    }
}

// The wave over the fog's tint (plain backgrounds are compared with the reference renderer).
TEST(WaveformRasterizer, FogWaveIsPremultipliedOverTheTint) {
    const WaveformScene scene = makeScene(800, 900, OverlayDisplayMode::fullscreenFog);
    const std::uint32_t tint = WaveformScene::backgroundFor(OverlayDisplayMode::fullscreenFog);
    ImageBuffer image;
    WaveformRasterizer().render(scene, image, 1.0, tint);
    const auto a = [](std::uint32_t p) { return ImageBuffer::alpha(p); };
    const auto invalid = [&](std::uint32_t p) {
        return ImageBuffer::red(p) > a(p) || ImageBuffer::green(p) > a(p) || ImageBuffer::blue(p) > a(p) ||
               a(p) < a(tint);
    };
    EXPECT_EQ(testing::countPixels(image, invalid), 0) << "not premultiplied, or below the tint";
    EXPECT_GT(testing::countPixels(image, [&](std::uint32_t p) { return a(p) > a(tint) + 20; }), image.width() * 20);
}

TEST(WaveformRasterizer, ReusedRasterizerAndImageGiveWhatFreshOnesGive) {
    // Cached coverage tables, rows left alone because they already hold the background, and the
    // rows the previous frame answered for must leave nothing stale behind. 450 and 520 points
    // both give 112 bars with dash length and gap at their floors but other line widths; odd and
    // even pixel heights take the mirrored and the direct row pass.
    const auto fog = OverlayDisplayMode::fullscreenFog, compact = OverlayDisplayMode::compact;
    constexpr std::uint32_t tint = 0x0b0b0b0bu;
    enum Reuse { fresh, sameImage, scribbled, answeredRows };
    using Frame = std::tuple<double, double, double, OverlayDisplayMode, double, double, std::uint32_t, Reuse>;
    const Frame frames[] = {
        {1440, 150, 2.0, compact, 0.9, 0.4, 0, fresh},     {300, 60, 1.0, compact, 0.9, 1.0, 0, fresh},
        {450, 100, 1.0, compact, 0.9, 0.0, 0, fresh},      {520, 100, 1.0, compact, 0.9, 0.0, 0, fresh},
        {1440, 150, 1.0, compact, 0.9, 0.4, 0, fresh},     {1440, 150, 1.0, compact, 0.9, 0.9, 0, fresh},
        {600, 700, 1.0, fog, 1.0, 0.4, tint, sameImage},   {600, 700, 1.0, fog, 0.05, 0.4, tint, sameImage},
        {600, 700, 1.0, fog, 0.05, 0.4, 0, sameImage},     {600, 700, 1.0, fog, 0.8, 0.4, 0, scribbled},
        {600, 700, 1.0, fog, 0.8, 0.4, tint, sameImage},   {600, 700, 1.0, compact, 0.3, 0.4, tint, sameImage},
        {600, 700, 1.0, fog, 0.0, 0.4, tint, scribbled},   {600, 700, 1.0, fog, 0.0, 0.4, 0xff000000u, sameImage},
        {640, 720, 1.0, fog, 1.0, 1.0, tint, sameImage},   {640, 720, 1.0, fog, 0.05, 0.05, tint, answeredRows},
        {640, 720, 1.0, fog, 0.6, 0.6, tint, answeredRows}, {640, 720, 1.0, fog, 0.0, 0.0, tint, answeredRows},
        {640, 720, 1.25, fog, 0.9, 0.9, 0, sameImage},     {640, 720, 1.25, fog, 0.1, 0.1, 0, answeredRows},
        {500, 601.5, 1.0, fog, 0.2, 0.2, tint, sameImage}, {500, 601.5, 1.0, fog, 1.0, 1.0, tint, answeredRows},
        {800, 150, 2.0, compact, 0.4, 0.4, 0, sameImage},  {800, 150, 2.0, compact, 1.0, 1.0, 0, answeredRows},
        {800, 150, 2.0, compact, 0.0, 0.0, 0, answeredRows},
    };
    WaveformRasterizer rasterizer;
    ImageBuffer image;
    WaveformRasterizer::Rows rows;
    for (const Frame& f : frames) {
        SCOPED_TRACE(::testing::Message() << "frame " << &f - frames);
        const auto& [width, height, scale, mode, level, pulse, background, reuse] = f;
        const WaveformScene scene = makeScene(width, height, mode, level, pulse);
        if (reuse == fresh) image = ImageBuffer();
        if (reuse == scribbled) {  // one pixel in every seventh row: the first, the last or one between
            const int xs[] = {0, image.width() - 1, image.width() / 3};
            for (int y = 0; y < image.height(); y += 7) image.row(y)[xs[y % 3]] = 0x80402010u;
        }
        rows = rasterizer.render(scene, image, scale, background, reuse == answeredRows ? &rows : nullptr);
        ImageBuffer expected;
        WaveformRasterizer().render(scene, expected, scale, background);
        ASSERT_TRUE(testing::sameImage(image, expected));

        // Every row outside the rows answered holds the background, and the band ends within reach
        // of ink (the glow's cut-off lies a few deviations past its last visible row): a band grown
        // far beyond the wave would cost the speed it exists for.
        const auto ink = [&, background = background](std::uint32_t p) { return p != background; };
        int inkFirst = image.height(), inkLast = -1;
        for (int y = 0; y < image.height(); ++y) {
            if (testing::countPixels(image, ink, 0, y, -1, 1) == 0) continue;
            ASSERT_TRUE(y >= rows.first && y <= rows.last) << "row " << y;
            inkFirst = std::min(inkFirst, y);
            inkLast = y;
        }
        const int slack = static_cast<int>(std::ceil(6.0 * scene.glowRadius * scale)) + 4;
        EXPECT_LE(inkFirst - rows.first, slack);
        EXPECT_LE(rows.last - inkLast, slack);
    }
}

TEST(WaveformRasterizer, SparklesAreDrawnBeyondTheTipsOfTheirBars) {
    const WaveformScene scene = makeScene(1000, 200, OverlayDisplayMode::compact, 1.0, 1.0);
    WaveformScene plain = scene;
    std::vector<std::pair<double, double>> centres;  // in device pixels at scale 2
    for (WaveformBar& bar : plain.bars) {
        if (!std::exchange(bar.hasSparkles, false)) continue;
        for (double sign : {-1.0, 1.0}) {
            centres.emplace_back((scene.waveOriginX + bar.x) * 2,
                                 (scene.waveOriginY + scene.centerY + sign * bar.sparkleOffset) * 2);
        }
    }
    ASSERT_GT(centres.size(), 10u);
    ImageBuffer with, without;
    WaveformRasterizer().render(scene, with, 2.0);
    WaveformRasterizer().render(plain, without, 2.0);
    // Every sparkle centre differs, and every difference lies within a sparkle's reach of one.
    for (const auto& [x, y] : centres) EXPECT_NE(with.pixel(int(x), int(y)), without.pixel(int(x), int(y)));
    const double reach = scene.sparkleDiameter + 1.5;
    for (int y = 0; y < with.height(); ++y) {
        for (int x = 0; x < with.width(); ++x) {
            const auto near = [&](const auto& c) {
                return std::abs(x + 0.5 - c.first) < reach && std::abs(y + 0.5 - c.second) < reach;
            };
            if (with.pixel(x, y) == without.pixel(x, y)) continue;
            ASSERT_TRUE(std::ranges::any_of(centres, near)) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace sonavista
