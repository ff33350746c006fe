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

TEST(WaveformRasterizer, ReusedRasterizerAndImageGiveWhatFreshOnesGive) {
    // The rasterizer caches coverage tables between frames, leaves alone rows that already hold
    // the background, and may be told which rows the previous frame answered for as the only
    // non-background ones: none of it may leave anything stale behind. The frames change size,
    // scale and pulse (450 and 520 points both give 112 bars with the dash length and gap at
    // their floors but different line widths), level (the wave band shrinks), background and
    // mode; some images are scribbled on in between. Odd and even pixel heights cover the
    // mirrored and the direct row pass.
    const auto fog = OverlayDisplayMode::fullscreenFog, compact = OverlayDisplayMode::compact;
    constexpr std::uint32_t tint = 0x0b0b0b0bu;
    enum Reuse { fresh, sameImage, scribbled, answeredRows };
    const struct {
        double width, height, scale;
        OverlayDisplayMode mode;
        double level, pulse;
        std::uint32_t background;
        Reuse reuse;
    } frames[] = {
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
    int index = 0;
    for (const auto& f : frames) {
        SCOPED_TRACE(::testing::Message() << "frame " << index++);
        const WaveformScene scene = makeScene(f.width, f.height, f.mode, f.level, f.pulse);
        if (f.reuse == fresh) image = ImageBuffer();
        if (f.reuse == scribbled) {  // one pixel in every seventh row: the first, the last or one between
            const int xs[] = {0, image.width() - 1, image.width() / 3};
            for (int y = 0; y < image.height(); y += 7) image.row(y)[xs[y % 3]] = 0x80402010u;
        }
        rows = rasterizer.render(scene, image, f.scale, f.background, f.reuse == answeredRows ? &rows : nullptr);
        ImageBuffer expected;
        WaveformRasterizer().render(scene, expected, f.scale, f.background);
        ASSERT_TRUE(testing::sameImage(image, expected));

        // Every row outside the rows answered holds the background, and the first and last of
        // them lie within reach of ink: a band grown far beyond the wave would cost the speed it
        // exists for. The glow's cut-off lies a few deviations past its last visible row.
        ASSERT_FALSE(rows.empty());
        int inkFirst = image.height(), inkLast = -1;
        for (int y = 0; y < image.height(); ++y) {
            if (testing::countPixels(image, [&](std::uint32_t p) { return p != f.background; }, 0, y, -1, 1) == 0) continue;
            ASSERT_TRUE(y >= rows.first && y <= rows.last) << "row " << y;
            inkFirst = std::min(inkFirst, y);
            inkLast = y;
        }
        const int slack = static_cast<int>(std::ceil(6.0 * scene.glowRadius * f.scale)) + 4;
        EXPECT_LE(inkFirst - rows.first, slack);
        EXPECT_LE(rows.last - inkLast, slack);
        if (f.mode == fog) {
            EXPECT_LT(rows.last - rows.first + 1, image.height() * 3 / 4);
        }
    }
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

}  // namespace
}  // namespace sonavista
