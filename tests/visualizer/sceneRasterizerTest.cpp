#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/ImageComparison.h"
#include "visualizer/ImageBuffer.h"
#include "visualizer/WaveformRasterizer.h"
#include "visualizer/WaveformScene.h"

namespace sonavista {
namespace {

WaveformScene makeScene(double width, double height, OverlayDisplayMode mode, double level = 0.7, double pulse = 0.4) {
    WaveformInputs in;
    in.panelWidth = width;
    in.panelHeight = height;
    in.displayMode = mode;
    in.color = WaveColor::neon;
    in.audioLevel = level;
    in.beatPulse = pulse;
    in.motionRate = 1.3;
    in.motionTime = 321.0;
    in.spectrum.assign(96, level);
    return WaveformScene::make(in);
}

int alphaAt(const ImageBuffer& image, double x, double y) {
    return static_cast<int>(ImageBuffer::alpha(image.pixel(static_cast<int>(x), static_cast<int>(y))));
}

TEST(WaveformRasterizer, ImageCoversThePanelAtTheDevicePixelRatio) {
    const struct {
        double width, height, scale;
        int pixelsWide, pixelsHigh;
    } cases[] = {{1440, 150, 1, 1440, 150}, {1440, 150, 2, 2880, 300}, {583.9, 150, 1, 584, 150},
                 {1000, 110, 1.25, 1250, 138}, {0.2, 0.2, 1, 1, 1}};
    WaveformRasterizer rasterizer;
    for (const auto& c : cases) {
        ImageBuffer image;
        rasterizer.render(makeScene(c.width, c.height, OverlayDisplayMode::compact), image, c.scale);
        EXPECT_EQ(image.width(), c.pixelsWide);
        EXPECT_EQ(image.height(), c.pixelsHigh);
        EXPECT_EQ(image.bytesPerLine(), static_cast<std::size_t>(c.pixelsWide) * 4);
    }
}

TEST(WaveformRasterizer, FogPanelIsBackgroundAwayFromTheWaveAndPremultiplied) {
    const WaveformScene scene = makeScene(800, 900, OverlayDisplayMode::fullscreenFog);
    for (std::uint32_t background : {0x00000000u, 0x0b0b0b0bu}) {
        ImageBuffer image;
        WaveformRasterizer().render(scene, image, 1.0, background);
        const auto a = [](std::uint32_t p) { return ImageBuffer::alpha(p); };
        const auto invalid = [&](std::uint32_t p) {
            return ImageBuffer::red(p) > a(p) || ImageBuffer::green(p) > a(p) || ImageBuffer::blue(p) > a(p) ||
                   a(p) < a(background);
        };
        EXPECT_EQ(testing::countPixels(image, invalid), 0) << "not premultiplied, or below the background";
        const auto other = [&](std::uint32_t p) { return p != background; };
        const int margin = static_cast<int>(scene.waveOriginY) - 40;  // rows far from the wave
        EXPECT_EQ(testing::countPixels(image, other, 0, 0, -1, margin), 0);
        EXPECT_EQ(testing::countPixels(image, other, 0, image.height() - margin + 1), 0);
        EXPECT_GT(testing::countPixels(image, [&](std::uint32_t p) { return a(p) > a(background) + 20; }),
                  image.width() * 20);
    }
}

TEST(WaveformRasterizer, ReusingTheRasterizerGivesTheSameImageAsAFreshOne) {
    // Coverage tables are cached between frames; a change of size, scale or pulse must not
    // leave stale ones behind. 450 and 520 points both give 112 bars with the dash length and
    // gap at their floors but different line widths.
    const struct {
        double width, height, scale, pulse;
    } frames[] = {{1440, 150, 2.0, 0.4}, {300, 60, 1.0, 1.0}, {450, 100, 1.0, 0.0}, {520, 100, 1.0, 0.0},
                  {1440, 150, 1.0, 0.4}, {1440, 150, 1.0, 0.9}};
    WaveformRasterizer reused;
    for (const auto& f : frames) {
        const WaveformScene scene = makeScene(f.width, f.height, OverlayDisplayMode::compact, 0.9, f.pulse);
        ImageBuffer again, expected;
        reused.render(scene, again, f.scale);
        WaveformRasterizer().render(scene, expected, f.scale);
        EXPECT_TRUE(testing::sameImage(again, expected)) << f.width;
    }
}

TEST(WaveformRasterizer, AnsweredRowsHoldTheWaveAndTheRestOnlyBackground) {
    // Each frame is drawn into the previous one with the rows answered for it as the only
    // non-background rows: the image must equal a fresh frame, every row outside the rows
    // answered must be background, and the first and last of them must lie within reach of
    // ink (a band grown far beyond the wave would cost the speed it exists for). Sizes with
    // an odd and an even pixel height cover the mirrored and the direct row pass.
    const struct {
        const char* name;
        double width, height, scale;
        OverlayDisplayMode mode;
        std::uint32_t background;
        std::vector<double> levels;
    } cases[] = {
        {"fog, tint", 640, 720, 1.0, OverlayDisplayMode::fullscreenFog, 0x0b0b0b0bu, {1.0, 0.05, 0.6, 0.0, 1.0}},
        {"fog, transparent, fractional ratio", 640, 720, 1.25, OverlayDisplayMode::fullscreenFog, 0u, {0.9, 0.1, 0.9}},
        {"fog, odd panel height", 500, 601.5, 1.0, OverlayDisplayMode::fullscreenFog, 0x0b0b0b0bu, {0.2, 1.0, 0.0}},
        {"compact", 800, 150, 2.0, OverlayDisplayMode::compact, 0u, {0.4, 1.0, 0.0}},
    };
    for (const auto& c : cases) {
        WaveformRasterizer rasterizer;
        ImageBuffer image;
        WaveformRasterizer::Rows known;
        bool first = true;
        for (const double level : c.levels) {
            const WaveformScene scene = makeScene(c.width, c.height, c.mode, level, level);
            const auto rows = rasterizer.render(scene, image, c.scale, c.background, first ? nullptr : &known);
            first = false;
            ImageBuffer expected;
            WaveformRasterizer().render(scene, expected, c.scale, c.background);
            ASSERT_TRUE(testing::sameImage(image, expected)) << c.name << " level " << level;
            ASSERT_FALSE(rows.empty()) << c.name;
            ASSERT_GE(rows.first, 0) << c.name;
            ASSERT_LT(rows.last, image.height()) << c.name;
            const auto inked = [&](std::uint32_t p) { return p != c.background; };
            int inkFirst = image.height();
            int inkLast = -1;
            for (int y = 0; y < image.height(); ++y) {
                if (testing::countPixels(image, inked, 0, y, -1, 1) == 0) continue;
                ASSERT_TRUE(y >= rows.first && y <= rows.last) << c.name << " level " << level << ": row " << y;
                inkFirst = std::min(inkFirst, y);
                inkLast = y;
            }
            // The glow's cut-off lies a few deviations past its last visible row.
            const int slack = static_cast<int>(std::ceil(6.0 * scene.glowRadius * c.scale)) + 4;
            EXPECT_LE(inkFirst - rows.first, slack) << c.name << " level " << level;
            EXPECT_LE(rows.last - inkLast, slack) << c.name << " level " << level;
            // Fog bands are much thinner than the panel: the band must not grow to all of it.
            if (c.mode == OverlayDisplayMode::fullscreenFog) {
                EXPECT_LT(rows.last - rows.first + 1, image.height() * 3 / 4) << c.name << " level " << level;
            }
            known = rows;
        }
    }
}

TEST(WaveformRasterizer, RenderingIntoThePreviousFrameGivesTheSameImageAsIntoAFreshOne) {
    // The rasterizer leaves alone rows that already hold the background, so a frame drawn over
    // the previous one must still clear what that one inked and follow a change of background:
    // loud to quiet (the wave band shrinks), tint to transparent and back, a compact frame of
    // the same size, and an image scribbled on in between.
    const struct {
        OverlayDisplayMode mode;
        double level;
        std::uint32_t background;
        bool scribble;
    } frames[] = {{OverlayDisplayMode::fullscreenFog, 1.0, 0x0b0b0b0bu, false},
                  {OverlayDisplayMode::fullscreenFog, 0.05, 0x0b0b0b0bu, false},
                  {OverlayDisplayMode::fullscreenFog, 0.05, 0x00000000u, false},
                  {OverlayDisplayMode::fullscreenFog, 0.8, 0x00000000u, true},
                  {OverlayDisplayMode::fullscreenFog, 0.8, 0x0b0b0b0bu, false},
                  {OverlayDisplayMode::compact, 0.3, 0x0b0b0b0bu, false},
                  {OverlayDisplayMode::fullscreenFog, 0.0, 0x0b0b0b0bu, true},
                  {OverlayDisplayMode::fullscreenFog, 0.0, 0xff000000u, false}};
    WaveformRasterizer rasterizer;
    ImageBuffer reused;
    int frame = 0;
    for (const auto& f : frames) {
        const WaveformScene scene = makeScene(600, 700, f.mode, f.level);
        if (f.scribble && reused.width() > 0) {
            // One pixel in every seventh row: the first, the last or one in between.
            const int xs[] = {0, reused.width() - 1, reused.width() / 3};
            for (int y = 0; y < reused.height(); y += 7) reused.row(y)[xs[y % 3]] = 0x80402010u;
        }
        rasterizer.render(scene, reused, 1.0, f.background);
        ImageBuffer expected;
        WaveformRasterizer().render(scene, expected, 1.0, f.background);
        EXPECT_TRUE(testing::sameImage(reused, expected)) << "frame " << frame++;
    }
}

TEST(WaveformRasterizer, DashesStartAtTheTopEndOfEachBar) {
    // At 4 device pixels per point the dash pattern is resolved: the top end is inside a dash,
    // the first gap is much lighter, and the pattern does not restart at the bottom end.
    WaveformScene scene = makeScene(600, 160, OverlayDisplayMode::compact, 1.0, 0.0);
    const double s = 4.0;
    WaveformRasterizer rasterizer;
    ImageBuffer image;
    rasterizer.render(scene, image, s);
    int gapsAtBottom = 0, cutDashesAtBottom = 0;
    const double period = scene.dashLength + scene.dashGap;
    const double cap = scene.lineWidth * 0.5;
    for (const WaveformBar& bar : scene.bars) {
        if (bar.halfHeight < 20) continue;
        const double x = (scene.waveOriginX + bar.x) * s;
        const double top = (scene.waveOriginY + scene.centerY - bar.halfHeight) * s;
        const double bottom = (scene.waveOriginY + scene.centerY + bar.halfHeight) * s;
        const int ink = alphaAt(image, x, top + 0.25 * s);
        const int gap = alphaAt(image, x, top + (scene.dashLength + cap + (scene.dashGap - 2 * cap) * 0.5) * s);
        ASSERT_GT(ink, gap + 60);
        // Where the last period ends: inside a dash (cut there) or past its cap, in a gap.
        const double remainder = std::fmod(2 * bar.halfHeight, period);
        if (remainder > scene.dashLength + cap + 0.3) {
            const double inGap = bottom - 0.5 * (remainder - scene.dashLength - cap) * s;
            EXPECT_LT(alphaAt(image, x, inGap), ink - 60);
            ++gapsAtBottom;
        } else if (remainder < scene.dashLength - 0.3) {
            EXPECT_GT(alphaAt(image, x, bottom - 0.25 * s), gap + 60);
            ++cutDashesAtBottom;
        }
    }
    EXPECT_GT(gapsAtBottom, 5);
    EXPECT_GT(cutDashesAtBottom, 5);
}

TEST(WaveformRasterizer, SparklesAreDrawnBeyondTheTipsOfTheirBars) {
    WaveformScene scene = makeScene(1000, 200, OverlayDisplayMode::compact, 1.0, 1.0);
    WaveformScene plain = scene;
    int sparkling = 0;
    for (WaveformBar& bar : plain.bars) {
        sparkling += bar.hasSparkles;
        bar.hasSparkles = false;
    }
    ASSERT_GT(sparkling, 5);
    WaveformRasterizer rasterizer;
    ImageBuffer with, without;
    rasterizer.render(scene, with, 2.0);
    rasterizer.render(plain, without, 2.0);
    // Every difference lies within a sparkle's radius (plus one pixel) of a sparkle centre, and
    // every sparkle centre differs.
    for (int y = 0; y < with.height(); ++y) {
        for (int x = 0; x < with.width(); ++x) {
            if (with.pixel(x, y) == without.pixel(x, y)) continue;
            bool nearSparkle = false;
            for (const WaveformBar& bar : scene.bars) {
                if (!bar.hasSparkles) continue;
                const double cx = (scene.waveOriginX + bar.x) * 2;
                for (double sign : {-1.0, 1.0}) {
                    const double cy = (scene.waveOriginY + scene.centerY + sign * bar.sparkleOffset) * 2;
                    nearSparkle |= std::abs(x + 0.5 - cx) < scene.sparkleDiameter + 1.5 &&
                                   std::abs(y + 0.5 - cy) < scene.sparkleDiameter + 1.5;
                }
            }
            ASSERT_TRUE(nearSparkle) << x << "," << y;
        }
    }
    for (const WaveformBar& bar : scene.bars) {
        if (!bar.hasSparkles) continue;
        const double cx = (scene.waveOriginX + bar.x) * 2;
        const double cy = (scene.waveOriginY + scene.centerY - bar.sparkleOffset) * 2;
        EXPECT_NE(with.pixel(static_cast<int>(cx), static_cast<int>(cy)), without.pixel(static_cast<int>(cx), static_cast<int>(cy)));
    }
}

TEST(WaveformRasterizer, GlowIsABlurOfTheBarsReachingAFewRadiiBeyondTheirTips) {
    const WaveformScene scene = makeScene(1200, 1000, OverlayDisplayMode::fullscreenFog, 0.8, 0.0);
    WaveformRasterizer rasterizer;
    ImageBuffer image;
    rasterizer.render(scene, image, 1.0);
    const WaveformBar& bar = scene.bars[scene.barCount / 2];
    const double x = scene.waveOriginX + bar.x;
    const double tip = scene.waveOriginY + scene.centerY - bar.halfHeight - scene.glowWidth / 2;
    const double r = scene.glowRadius;
    const int near = alphaAt(image, x, tip - r);
    const int mid = alphaAt(image, x, tip - 2 * r);
    const int far = alphaAt(image, x, tip - 6 * r);
    EXPECT_GT(near, mid);
    EXPECT_GT(mid, 0);
    EXPECT_LE(far, 1);
}

}  // namespace
}  // namespace sonavista
