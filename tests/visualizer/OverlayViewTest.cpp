#include "base/FakeClock.h"
#include "preferences/MemorySettingsStore.h"
#include "support/ImageComparison.h"
#include "support/QtTestApplication.h"
#include "visualizer/VisualizerView.h"
#include "visualizer/WaveformScene.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace sonavista {
namespace {

using testing::countPixels;

class OverlayViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::qtTestApplication(); }

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

    static bool rowHasAlphaAbove(const QImage& image, int y, int alpha) {
        return countPixels(image, [alpha](std::uint32_t p) { return qAlpha(p) > alpha; }, 0, y, -1, 1) > 0;
    }

    std::shared_ptr<OverlayPreferences> preferences =
        OverlayPreferences::create(std::make_shared<MemorySettingsStore>());
    std::shared_ptr<VisualizerModel> model = std::make_shared<VisualizerModel>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>(12.5);
};

TEST_F(OverlayViewTest, DrawsFromPreferencesAndModel) {
    auto view = makeView(1440, 150);
    preferences->setColor(WaveColor::sunset);
    preferences->setAudioResponsive(false);
    preferences->setDisplayMode(OverlayDisplayMode::fullscreenFog);
    model->updateLiveFrame({0.7, 1.5, 0.3, {0.1, 0.2, 0.3}});

    const auto inputs = view->currentInputs();
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

TEST_F(OverlayViewTest, RippleMovesSmoothlyWhileLiveAudioNudgesTheMotionRate) {
    // Clocks read large numbers in a long session; live audio changes the rate every frame.
    clock->set(1.77e9);
    auto view = makeView(1440, 150);
    std::vector<WaveformBar> previous;
    double largestStep = 0.0;
    for (int frame = 0; frame < 90; ++frame, clock->advance(1.0 / 30.0)) {
        model->updateLiveFrame({0.6, 1.2 + 1e-4 * std::sin(frame * 0.4), 0.0, std::vector<double>(96, 0.5)});
        view->advanceFrame();
        const auto bars = WaveformScene::make(view->currentInputs()).bars;
        // The ripple moves a bar by under 1 % of its height per frame at this rate; a jump of
        // its phase moves it by up to 12 %.
        for (std::size_t i = 0; i < previous.size(); ++i) {
            largestStep = std::max(largestStep, std::abs(bars[i].halfHeight / previous[i].halfHeight - 1.0));
        }
        previous = bars;
    }
    EXPECT_LE(largestStep, 0.02);
    EXPECT_GT(largestStep, 0.001) << "the ripple travels";
}

TEST_F(OverlayViewTest, CompactLeavesTheBandTransparentAroundTheWave) {
    auto view = makeView(1440, 150);
    model->updateLiveFrame({0.9, 1.0, 0.5, std::vector<double>(96, 0.9)});
    const QImage image = render(*view);
    // The wave area is 138 high, centred: the rows above it stay clear, its centre is drawn.
    EXPECT_FALSE(rowHasAlphaAbove(image, 0, 0));
    EXPECT_FALSE(rowHasAlphaAbove(image, 149, 0));
    EXPECT_TRUE(rowHasAlphaAbove(image, 75, 128));
}

TEST_F(OverlayViewTest, FogLaysAFaintWhiteTintUnderTheWave) {
    preferences->setDisplayMode(OverlayDisplayMode::fullscreenFog);
    auto view = makeView(960, 540);
    const QImage image = render(*view);
    const QRgb corner = image.pixel(0, 0);
    EXPECT_NEAR(qAlpha(corner), 0.045 * 255, 1.0);
    EXPECT_EQ(qRed(corner), qAlpha(corner));  // premultiplied white
    EXPECT_TRUE(rowHasAlphaAbove(image, 270, 128));
}

TEST_F(OverlayViewTest, WithoutCompositorPaintsAnOpaqueBandWithANotice) {
    auto view = makeView(1440, 150);
    view->setCompositorMissing(true);
    const QImage image = render(*view);
    EXPECT_EQ(qAlpha(image.pixel(1439, 149)), 255);
    // The notice's text lights some pixels in the top-left corner.
    EXPECT_GT(countPixels(image, [](std::uint32_t p) { return qRed(p) > 100; }, 0, 0, 300, 20), 0);
}

TEST_F(OverlayViewTest, ContentRowsAreThoseHoldingAnythingButTheBackground) {
    constexpr std::uint32_t tint = 0x0b0b0b0bu;
    struct Case {
        const char* name;
        std::uint32_t background;
        std::vector<std::pair<int, int>> marks;  // (x, y) pixels set to another value
        int first;
        int last;
        VisualizerView::RowSpan within = {0, 9};  // the rows searched
    };
    const std::vector<Case> cases = {
        {"all tint", tint, {}, 0, -1},
        {"first and last rows", 0, {{0, 0}, {6, 9}}, 0, 9},
        {"transparent pixels on a tinted background", tint, {{3, 4}, {0, 6}, {5, 5}}, 4, 6},
        {"band cut by the rows searched", tint, {{3, 4}, {0, 6}, {5, 5}}, 5, 6, {5, 8}},
        {"marks only outside the rows searched", 0, {{1, 1}, {1, 8}}, 0, -1, {2, 7}},
        {"rows searched reach past the image", 0, {{2, 0}, {4, 9}}, 0, 9, {-3, 14}},
        {"nothing searched", 0, {{2, 5}}, 0, -1, {6, 5}},
    };
    for (const Case& c : cases) {
        ImageBuffer image(7, 10);
        image.fill(c.background);
        for (const auto& [x, y] : c.marks) {
            image.row(y)[x] = c.background == 0 ? 0x01000000u : 0u;
        }
        const auto span = VisualizerView::contentRows(image, c.background, c.within);
        EXPECT_EQ(span.first, c.first) << c.name;
        EXPECT_EQ(span.last, c.last) << c.name;
    }
}

TEST_F(OverlayViewTest, HiddenViewDrawsTheModelAndPreferencesAsTheyAreNow) {
    auto view = makeView(800, 150);
    model->updateLiveFrame({0.05, 1.0, 0.0, std::vector<double>(96, 0.05)});
    const QImage quiet = render(*view);
    // No tick runs while hidden: the next paint must still show the newer model...
    model->updateLiveFrame({1.0, 1.0, 1.0, std::vector<double>(96, 1.0)});
    const QImage loud = render(*view);
    EXPECT_NE(quiet, loud);
    // ...and a preference change.
    preferences->setColor(WaveColor::sunset);
    EXPECT_NE(render(*view), loud);
    // Unchanged inputs give the same frame.
    EXPECT_EQ(render(*view), render(*view));
}

// A window's memory: the rows `present` puts are what the window shows.
class FakeSurface final : public FrameSurface {
public:
    explicit FakeSurface(bool usable) : usable_(usable) {}
    std::uint32_t* pixels(int width, int height) override {
        if (!usable_) return nullptr;
        if (memory_.size() != static_cast<std::size_t>(width) * height) {
            memory_.assign(static_cast<std::size_t>(width) * height, 0xdeadbeefu);  // nothing drawn yet
            shown = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
            shown.fill(Qt::transparent);
        }
        return memory_.data();
    }
    void present(int first, int last) override {
        for (int y = first; y <= last; ++y) {
            std::memcpy(shown.scanLine(y), &memory_[static_cast<std::size_t>(y) * shown.width()],
                        static_cast<std::size_t>(shown.width()) * 4);
        }
    }
    QImage shown;

private:
    bool usable_;
    std::vector<std::uint32_t> memory_;
};

TEST_F(OverlayViewTest, TickRepaintsLeaveTheWindowEqualToAFreshFrame) {
    // Frames drawn tick by tick, each repainting only the rows that changed, must leave the
    // window equal to the frame drawn whole from the same inputs: painted through Qt's backing
    // store, put on a frame surface, or through Qt again when the surface cannot be had.
    enum class Path { qt, surface, unusableSurface };
    for (const Path path : {Path::qt, Path::surface, Path::unusableSurface}) {
        SCOPED_TRACE(static_cast<int>(path));
        auto view = makeView(600, 200);
        view->show();
        QApplication::processEvents();
        FakeSurface* surface = nullptr;
        if (path != Path::qt) {
            auto owned = std::make_unique<FakeSurface>(path == Path::surface);
            surface = owned.get();
            view->setFrameSurface(std::move(owned));
        }
        for (double level : {0.1, 1.0, 0.3, 0.0, 0.8, 0.05}) {
            model->updateLiveFrame({level, 1.0, level, std::vector<double>(96, level)});
            clock->advance(0.034);
            view->advanceFrame();
            QApplication::processEvents();  // the repaint the tick asked for
            // The whole frame, rasterized afresh from the inputs the tick drew.
            ImageBuffer whole;
            WaveformRasterizer().render(WaveformScene::make(view->currentInputs()), whole, 1.0, 0, nullptr);
            const QImage frame(reinterpret_cast<const uchar*>(whole.data()), whole.width(), whole.height(),
                               QImage::Format_ARGB32_Premultiplied);
            QImage shown, expected;
            if (path == Path::surface) {
                shown = surface->shown;
                expected = frame;
            } else {
                // The offscreen platform's window store is opaque: compare colours over black.
                shown = view->screen()->grabWindow(view->winId()).toImage().convertToFormat(QImage::Format_RGB32);
                expected = QImage(shown.size(), QImage::Format_RGB32);
                expected.fill(Qt::black);
                QPainter(&expected).drawImage(0, 0, frame);
            }
            EXPECT_TRUE(testing::sameImage(shown, expected)) << "level " << level;
        }
    }
}

TEST_F(OverlayViewTest, AnimatesOnlyWhileShownAndChangesAfterItIsGoneAreSafe) {
    int notifications = 0;
    preferences->addObserver([&](OverlayPreferences::Property) { ++notifications; });
    model->addObserver([&](VisualizerModel::Property) { ++notifications; });
    auto view = makeView(400, 150);
    EXPECT_FALSE(view->isAnimating());
    view->show();
    EXPECT_TRUE(view->isAnimating());
    view->hide();
    EXPECT_FALSE(view->isAnimating());
    view->show();
    view.reset();
    // The view's observers are gone with it; the remaining ones still hear every change.
    preferences->setColor(WaveColor::neon);
    model->pause();
    EXPECT_EQ(notifications, 6);
}

}  // namespace
}  // namespace sonavista
