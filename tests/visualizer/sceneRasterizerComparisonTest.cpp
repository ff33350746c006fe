// The fast rasterizer against the plain QPainter rendering of the same scenes.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cmath>
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

struct Comparison {
    double meanDifference = 0;      // per channel, over all pixels, in 8-bit levels
    double smoothMaxDifference = 0; // max over pixels away from sharp edges
    double smoothFraction = 0;
    double worstBarInkRatio = 1;    // per bar: ink of the rasterizer / ink of the reference
    double totalInkRatio = 1;
};

Comparison compare(const WaveformScene& scene, double scale, const ImageBuffer& fast, const QImage& ref) {
    Comparison result;
    const int w = fast.width();
    const int h = fast.height();
    // The reference's own premultiplied pixels (QImage::pixel would unpremultiply them).
    auto refPixel = [&](int x, int y) { return reinterpret_cast<const QRgb*>(ref.constScanLine(y))[x]; };
    double sum = 0;
    long smooth = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t a = fast.pixel(x, y), b = refPixel(x, y);
            for (int shift = 0; shift < 32; shift += 8) sum += std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff));
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
                result.smoothMaxDifference = std::max<double>(result.smoothMaxDifference, testing::channelDistance(a, b));
            }
        }
    }
    result.meanDifference = sum / (4.0 * w * h);
    result.smoothFraction = static_cast<double>(smooth) / (static_cast<double>(w) * h);

    // Ink (alpha summed) of each bar's own column strip.
    double fastTotal = 0, refTotal = 0;
    for (const WaveformBar& bar : scene.bars) {
        const double xc = (scene.waveOriginX + bar.x) * scale;
        const int x0 = std::max(static_cast<int>(std::floor(xc - scene.barSpacing * scale * 0.5)), 0);
        const int x1 = std::min(static_cast<int>(std::ceil(xc + scene.barSpacing * scale * 0.5)), w);
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
        if (std::abs(ratio - 1) > std::abs(result.worstBarInkRatio - 1)) result.worstBarInkRatio = ratio;
    }
    result.totalInkRatio = refTotal > 0 ? fastTotal / refTotal : 1.0;
    return result;
}

class RasterizerComparison : public ::testing::TestWithParam<Case> {};

TEST_P(RasterizerComparison, MatchesTheQPainterReference) {
    const Case& c = GetParam();
    const WaveformScene scene = WaveformScene::make(c.in);

    WaveformRasterizer rasterizer;
    ImageBuffer fast;
    rasterizer.render(scene, fast, c.scale);
    const QImage ref = QPainterWaveformRenderer::render(scene, c.scale);
    ASSERT_EQ(fast.width(), ref.width());
    ASSERT_EQ(fast.height(), ref.height());

    // Tolerances. Both images are 8-bit; the reference also rounds its glow layer to 8 bits
    // before blurring it, so smooth regions (glow, flat fills) may differ by a level or two.
    // On antialiased edges the two rasterizers legitimately differ by more (Qt flattens the
    // round caps into polygons and quantises coverage), and at one device pixel per point most
    // bar pixels are edges; there the per-bar ink (alpha summed over the bar's own column strip)
    // must agree within 5 %, which a wrong height, dash length, dash phase, cap or opacity
    // would break. The mean difference over the whole image bounds everything else.
    const Comparison r = compare(scene, c.scale, fast, ref);
    std::cout << "[ metrics  ] " << c.name << ": mean " << r.meanDifference << ", smooth max " << r.smoothMaxDifference
              << " (" << r.smoothFraction * 100 << " % smooth), worst bar ink " << r.worstBarInkRatio << ", total ink "
              << r.totalInkRatio << "\n";
    EXPECT_LE(r.meanDifference, 0.5);
    EXPECT_LE(r.smoothMaxDifference, 2.0);
    EXPECT_GT(r.smoothFraction, 0.4);
    EXPECT_NEAR(r.worstBarInkRatio, 1.0, 0.05);
    EXPECT_NEAR(r.totalInkRatio, 1.0, 0.02);
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
        Case{"narrowPacked", 1.0, {300, 60, 42.0, WaveColor::sunset, true, compact, 0.6, 1.0, 0.3, ramp(24)}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace sonavista
