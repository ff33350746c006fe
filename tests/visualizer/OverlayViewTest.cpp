#include "base/FakeClock.h"
#include "preferences/MemorySettingsStore.h"
#include "visualizer/VisualizerView.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

// Fontconfig keeps its configuration until the process ends (Qt never releases it); that is
// not a leak of ours. Read by LeakSanitizer in sanitizer builds, unused otherwise.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace sonavista {
namespace {

class OverlayViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "overlay_view_tests";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) {
            new QApplication(argc, argv);
        }
    }

    std::unique_ptr<VisualizerView> makeView(int width, int height) {
        auto view = std::make_unique<VisualizerView>(preferences, model, nullptr, clock);
        view->resize(width, height);
        return view;
    }

    // Premultiplied ARGB of the rendered view, one device pixel per point.
    static QImage render(VisualizerView& view) {
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view.render(&image);
        return image;
    }

    static int maxAlphaInRow(const QImage& image, int y) {
        int alpha = 0;
        for (int x = 0; x < image.width(); ++x) {
            alpha = std::max(alpha, qAlpha(image.pixel(x, y)));
        }
        return alpha;
    }

    std::shared_ptr<OverlayPreferences> preferences =
        OverlayPreferences::create(std::make_shared<MemorySettingsStore>());
    std::shared_ptr<VisualizerModel> model = std::make_shared<VisualizerModel>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>(978307200.0 + 12.5);
};

TEST_F(OverlayViewTest, AnimatesOnlyWhileShownAndNeverFasterThan30PerSecond) {
    auto view = makeView(800, 150);
    EXPECT_FALSE(view->isAnimating());
    view->show();
    EXPECT_TRUE(view->isAnimating());
    view->hide();
    EXPECT_FALSE(view->isAnimating());
    view->show();
    EXPECT_TRUE(view->isAnimating());
    EXPECT_GE(VisualizerView::frameIntervalMilliseconds * 30, 1000);
}

TEST_F(OverlayViewTest, DrawsFromPreferencesModelAndReferenceDateTime) {
    auto view = makeView(1440, 150);
    preferences->setColor(WaveColor::sunset);
    preferences->setAudioResponsive(false);
    preferences->setDisplayMode(OverlayDisplayMode::fullscreenFog);
    model->updateLiveFrame({0.7, 1.5, 0.3, {0.1, 0.2, 0.3}});

    const auto inputs = view->currentInputs();
    EXPECT_DOUBLE_EQ(inputs.time, 12.5);  // seconds since 2001-01-01 UTC
    EXPECT_EQ(inputs.panelWidth, 1440);
    EXPECT_EQ(inputs.panelHeight, 150);
    EXPECT_EQ(inputs.color, WaveColor::sunset);
    EXPECT_FALSE(inputs.audioResponsive);
    EXPECT_EQ(inputs.displayMode, OverlayDisplayMode::fullscreenFog);
    EXPECT_DOUBLE_EQ(inputs.audioLevel, 0.7);
    EXPECT_DOUBLE_EQ(inputs.motionRate, 1.5);
    EXPECT_DOUBLE_EQ(inputs.beatPulse, 0.3);
    EXPECT_EQ(inputs.spectrum, (std::vector<double>{0.1, 0.2, 0.3}));
}

TEST_F(OverlayViewTest, CompactLeavesTheBandTransparentAroundTheWave) {
    auto view = makeView(1440, 150);
    model->updateLiveFrame({0.9, 1.0, 0.5, std::vector<double>(96, 0.9)});
    const QImage image = render(*view);
    // The wave area is 138 high, centred: the rows above it stay clear, its centre is drawn.
    EXPECT_EQ(maxAlphaInRow(image, 0), 0);
    EXPECT_EQ(maxAlphaInRow(image, 149), 0);
    EXPECT_GT(maxAlphaInRow(image, 75), 128);
}

TEST_F(OverlayViewTest, FogLaysAFaintWhiteTintUnderTheWave) {
    preferences->setDisplayMode(OverlayDisplayMode::fullscreenFog);
    auto view = makeView(960, 540);
    const QImage image = render(*view);
    const QRgb corner = image.pixel(0, 0);
    EXPECT_NEAR(qAlpha(corner), 0.045 * 255, 1.0);
    EXPECT_EQ(qRed(corner), qAlpha(corner));  // premultiplied white
    EXPECT_GT(maxAlphaInRow(image, 270), 128);
}

TEST_F(OverlayViewTest, WithoutCompositorPaintsAnOpaqueBandWithANotice) {
    auto view = makeView(1440, 150);
    view->setCompositorMissing(true);
    const QImage image = render(*view);
    EXPECT_EQ(qAlpha(image.pixel(1439, 149)), 255);
    // The notice's text lights some pixels in the top-left corner.
    int lit = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 300; ++x) {
            lit += qRed(image.pixel(x, y)) > 100;
        }
    }
    EXPECT_GT(lit, 0);
}

TEST_F(OverlayViewTest, ChangesAfterTheViewIsGoneAreSafe) {
    int notifications = 0;
    preferences->addObserver([&](OverlayPreferences::Property) { ++notifications; });
    model->addObserver([&](VisualizerModel::Property) { ++notifications; });
    auto view = makeView(400, 150);
    view->show();
    view.reset();
    // The view's observers are gone with it; the remaining ones still hear every change.
    preferences->setColor(WaveColor::neon);
    model->pause();
    EXPECT_EQ(notifications, 6);
}

}  // namespace
}  // namespace sonavista
