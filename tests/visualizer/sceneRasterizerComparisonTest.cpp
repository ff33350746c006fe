// The fast rasterizer against the plain QPainter rendering of the same scenes.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "support/ImageComparison.h"
#include "visualizer/ImageBuffer.h"
#include "visualizer/QPainterWaveformRenderer.h"
#include "visualizer/WaveformRasterizer.h"
#include "visualizer/WaveformScene.h"

namespace sonavista {
namespace {

struct Case {
    std::string name;
    double scale;
    WaveformInputs in;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<double> ramp(int count) {
    std::vector<double> values;
    for (int k = 0; k < count; ++k) values.push_back(0.5 + 0.5 * std::sin(k * 0.37));
    return values;
}
std::vector<double> flat(double value) { return std::vector<double>(96, value); }
constexpr auto compact = OverlayDisplayMode::compact, fog = OverlayDisplayMode::fullscreenFog;

class RasterizerComparison : public ::testing::TestWithParam<Case> {};

TEST_P(RasterizerComparison, MatchesTheQPainterReference) {
    const Case& c = GetParam();
    const WaveformScene scene = WaveformScene::make(c.in);
    ImageBuffer fast;
    WaveformRasterizer().render(scene, fast, c.scale);
    const QImage ref = QPainterWaveformRenderer::render(scene, c.scale);
    ASSERT_EQ(std::pair(fast.width(), fast.height()), std::pair(ref.width(), ref.height()));
    const int w = fast.width(), h = fast.height();
    // The reference's own premultiplied pixels (QImage::pixel would unpremultiply them).
    auto refPixel = [&](int x, int y) { return reinterpret_cast<const QRgb*>(ref.constScanLine(y))[x]; };

    // Both images are 8-bit and the reference rounds its glow to 8 bits before blurring it, so
    // smooth regions may differ by a level or two. Antialiased edges legitimately differ more (Qt
    // flattens round caps and quantises coverage), so there each bar's ink (alpha summed over its
    // column strip) must agree within 5 %, which a wrong height, dash, cap or opacity breaks.
    double sum = 0, smoothMax = 0;  // per channel, in 8-bit levels
    long smooth = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t a = fast.pixel(x, y), b = refPixel(x, y);
            for (int shift = 0; shift < 32; shift += 8) {
                sum += std::abs(static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff));
            }
            // Smooth: the reference's alpha varies by at most 3 levels around the pixel.
            int lo = 255, hi = 0;
            for (int yy = std::max(y - 1, 0); yy <= std::min(y + 1, h - 1); ++yy) {
                for (int xx = std::max(x - 1, 0); xx <= std::min(x + 1, w - 1); ++xx) {
                    lo = std::min(lo, qAlpha(refPixel(xx, yy)));
                    hi = std::max(hi, qAlpha(refPixel(xx, yy)));
                }
            }
            if (hi - lo <= 3) {
                ++smooth;
                smoothMax = std::max<double>(smoothMax, testing::channelDistance(a, b));
            }
        }
    }
    // Ink (alpha summed) of each bar's own column strip: the worst ratio of the rasterizer's to
    // the reference's, and the ratio over all bars.
    double fastTotal = 0, refTotal = 0, worstBar = 1;
    for (const WaveformBar& bar : scene.bars) {
        const double xc = (scene.waveOriginX + bar.x) * c.scale;
        const int x0 = std::max(static_cast<int>(std::floor(xc - scene.barSpacing * c.scale * 0.5)), 0);
        const int x1 = std::min(static_cast<int>(std::ceil(xc + scene.barSpacing * c.scale * 0.5)), w);
        double fastInk = 0, refInk = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = x0; x < x1; ++x) {
                fastInk += ImageBuffer::alpha(fast.pixel(x, y));
                refInk += qAlpha(refPixel(x, y));
            }
        }
        fastTotal += fastInk;
        refTotal += refInk;
        const double ratio = refInk > 0 ? fastInk / refInk : 1.0;
        if (std::abs(ratio - 1) > std::abs(worstBar - 1)) worstBar = ratio;
    }
    const double mean = sum / (4.0 * w * h), smoothFraction = static_cast<double>(smooth) / (double(w) * h);
    const double totalInk = refTotal > 0 ? fastTotal / refTotal : 1.0;
    std::cout << "[ metrics  ] " << c.name << ": mean " << mean << ", smooth max " << smoothMax << " ("
              << smoothFraction * 100 << " % smooth), worst bar ink " << worstBar << ", total ink " << totalInk << "\n";
    EXPECT_LE(mean, 0.5);
    EXPECT_LE(smoothMax, 2.0);
    EXPECT_GT(smoothFraction, 0.3);  // a loud band is a third smooth
    EXPECT_NEAR(worstBar, 1.0, 0.05);
    EXPECT_NEAR(totalInk, 1.0, 0.02);
}

// Against the rasterizer's own earlier images of the same scenes (exact, per pixel), stored with
// the premultiplied words as they are (format ARGB32): every channel within 2 levels, or a
// PSNR of at least 45 dB, so that no change to its speed changes the picture visibly.
TEST_P(RasterizerComparison, StaysWithinTwoLevelsOfItsEarlierImages) {
    const Case& c = GetParam();
    ImageBuffer fast;
    WaveformRasterizer().render(WaveformScene::make(c.in), fast, c.scale);
    const QImage before(QString(std::getenv("SONAVISTA_SOURCE_DIR")) + "/tests/visualizer/images/" +
                        QString::fromStdString(c.name) + ".png");
    ASSERT_EQ(std::pair(fast.width(), fast.height()), std::pair(before.width(), before.height()));
    double squares = 0;
    int worst = 0;
    for (int y = 0; y < fast.height(); ++y) {
        for (int x = 0; x < fast.width(); ++x) {
            const std::uint32_t a = fast.pixel(x, y), b = reinterpret_cast<const QRgb*>(before.constScanLine(y))[x];
            worst = std::max(worst, testing::channelDistance(a, b));
            for (int shift = 0; shift < 32; shift += 8) squares += std::pow(double((a >> shift) & 0xff) - ((b >> shift) & 0xff), 2);
        }
    }
    const double psnr = 10 * std::log10(255.0 * 255.0 * 4.0 * fast.width() * fast.height() / std::max(squares, 1e-9));
    std::cout << "[ metrics  ] " << c.name << " against its earlier image: max " << worst << ", PSNR " << psnr << " dB\n";
    EXPECT_TRUE(worst <= 2 || psnr >= 45.0) << "max " << worst << ", PSNR " << psnr;
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, RasterizerComparison,
    // Inputs: width, height, time, colour, audio response, mode, level, motion, pulse, spectrum.
    ::testing::Values(
        Case{"compactAurora", 1.0, {1440, 150, 1000.0, WaveColor::aurora, true, compact, 0.7, 1.2, 0.5, ramp(96)}},
        Case{"compactRetinaCandy", 2.0, {900, 110, 12.5, WaveColor::candyPop, true, compact, 0.9, 2.0, 1.0, ramp(96)}},
        Case{"compactSilence", 1.0, {1440, 150, 3.0, WaveColor::white, true, compact, 0.0, 0.55, 0.0, flat(0.0)}},
        Case{"fogNeon", 1.0, {1280, 720, 77.0, WaveColor::neon, true, fog, 1.0, 2.8, 1.0, flat(1.0)}},
        Case{"fogFractionalScale", 1.5, {1000, 700, 5e8, WaveColor::coralSky, true, fog, 0.48, 1.0, 0.16, {}}},
        // The centre line off the image's middle: no mirrored rows.
        Case{"compactHalfPointHigh", 1.0, {1000, 150.5, 9.0, WaveColor::ocean, true, compact, 0.8, 1.0, 0.7, ramp(96)}},
        Case{"narrowPacked", 1.0, {300, 60, 42.0, WaveColor::sunset, true, compact, 0.6, 1.0, 0.3, ramp(24)}},
        Case{"compactLoud", 1.0, {960, 150, 31.0, WaveColor::aurora, true, compact, 0.95, 1.4, 0.8, flat(0.9)}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace sonavista
