#include "base/FakeClock.h"
#include "preferences/MemorySettingsStore.h"
#include "support/ImageComparison.h"
#include "support/QtTestApplication.h"
#include "visualizer/VisualizerView.h"
#include "visualizer/WaveformScene.h"

#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace sonavista {
namespace {

class OverlayViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::qtTestApplication(); }

    std::unique_ptr<VisualizerView> makeView(int width, int height) {
        auto view = std::make_unique<VisualizerView>(preferences, model, nullptr, clock);
        view->resize(width, height);
        return view;
    }

    static QImage render(VisualizerView& view) {
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view.render(&image);
        return image;
    }

    std::shared_ptr<OverlayPreferences> preferences =
        OverlayPreferences::create(std::make_shared<MemorySettingsStore>());
    std::shared_ptr<VisualizerModel> model = std::make_shared<VisualizerModel>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>(12.5);
};

// Each frame moves the ripple's time on by the frame's interval times its motion rate, so a
// rate that changes every frame (as live audio makes it) never makes the ripple jump.
TEST_F(OverlayViewTest, RippleTimeAdvancesByIntervalTimesRate) {
    clock->set(1.77e9);  // clocks read large numbers in a long session
    auto view = makeView(1440, 150);
    model->updateLiveFrame({0.6, 1.2, 0.0, {}});
    view->advanceFrame();
    const double start = view->currentInputs().motionTime;
    for (const double rate : {2.5, 0.7}) {
        model->updateLiveFrame({0.6, rate, 0.0, {}});
        clock->advance(0.034);
        view->advanceFrame();
    }
    EXPECT_NEAR(view->currentInputs().motionTime - start, 0.034 * (2.5 + 0.7), 1e-5);
}

TEST_F(OverlayViewTest, WithoutCompositorPaintsAnOpaqueBandWithANotice) {
    auto view = makeView(1440, 150);
    view->setCompositorMissing(true);
    const QImage image = render(*view);
    EXPECT_EQ(qAlpha(image.pixel(1439, 149)), 255);
    // The notice's text lights some pixels in the top-left corner.
    EXPECT_GT(testing::countPixels(image, [](std::uint32_t p) { return qRed(p) > 100; }, 0, 0, 300, 20), 0);
}

TEST(VisualizerViewTest, ContentRowsAreThoseHoldingAnythingButTheBackground) {
    constexpr std::uint32_t tint = 0x0b0b0b0bu;
    // Background, (x, y) pixels set to another value, rows searched, rows found.
    using Span = VisualizerView::RowSpan;
    const std::tuple<std::uint32_t, std::vector<std::pair<int, int>>, Span, Span> cases[] = {
        {0, {{0, 0}, {6, 9}}, {0, 9}, {0, 9}},              // first and last rows
        {tint, {{3, 4}, {0, 6}, {5, 5}}, {0, 9}, {4, 6}},   // transparent pixels on a tinted background
        {tint, {{3, 4}, {0, 6}, {5, 5}}, {5, 8}, {5, 6}},   // band cut by the rows searched
        {0, {{2, 0}, {4, 9}}, {-3, 14}, {0, 9}},            // rows searched reach past the image
        {0, {{2, 5}}, {6, 5}, {0, -1}},                     // nothing searched
    };
    for (const auto& [background, marks, within, expected] : cases) {
        ImageBuffer image(7, 10);
        image.fill(background);
        for (const auto& [x, y] : marks) image.row(y)[x] = background == 0 ? 0x01000000u : 0u;
        const auto span = VisualizerView::contentRows(image, background, within);
        EXPECT_EQ(std::pair(span.first, span.last), std::pair(expected.first, expected.last)) << within.first;
    }
}

// No tick runs while hidden: each paint must show the model and preferences as they are then
// (and, with nothing changed, the same frame).
TEST_F(OverlayViewTest, HiddenViewDrawsTheModelAndPreferencesAsTheyAreNow) {
    auto view = makeView(800, 150);
    model->updateLiveFrame({0.05, 1.0, 0.0, std::vector<double>(96, 0.05)});
    const QImage quiet = render(*view);
    model->updateLiveFrame({1.0, 1.0, 1.0, std::vector<double>(96, 1.0)});
    const QImage loud = render(*view);
    EXPECT_NE(quiet, loud);
    preferences->setColor(WaveColor::sunset);
    EXPECT_NE(render(*view), loud);
    EXPECT_EQ(render(*view), render(*view));
}

// A window's memory: the rows `present` puts are what the window shows.
struct FakeSurface final : FrameSurface {
    explicit FakeSurface(bool usable) : usable(usable) {}
    std::uint32_t* pixels(int width, int height) override {
        if (memory.width() != width || memory.height() != height) {
            memory.resize(width, height);
            memory.fill(0xdeadbeefu);  // nothing drawn yet
            shown.resize(width, height);
            shown.fill(0);
        }
        return usable ? memory.data() : nullptr;
    }
    void present(int first, int last) override {
        for (int y = first; y <= last; ++y) std::copy_n(memory.row(y), memory.width(), shown.row(y));
    }
    ImageBuffer shown;
    bool usable;
    ImageBuffer memory;
};

TEST_F(OverlayViewTest, TickRepaintsLeaveTheWindowEqualToAFreshFrame) {
    // Repainting only the rows that changed leaves the window equal to a whole frame on every path.
    enum class Path { qt, surface, unusableSurface };
    for (const Path path : {Path::qt, Path::surface, Path::unusableSurface}) {
        SCOPED_TRACE(static_cast<int>(path));
        auto view = makeView(600, 200);
        view->show();
        QApplication::processEvents();
        auto owned = std::make_unique<FakeSurface>(path == Path::surface);
        const FakeSurface& surface = *owned;
        if (path != Path::qt) view->setFrameSurface(std::move(owned));
        for (double level : {0.1, 1.0, 0.3, 0.0, 0.8, 0.05}) {
            model->updateLiveFrame({level, 1.0, level, std::vector<double>(96, level)});
            clock->advance(0.034);
            view->advanceFrame();
            QApplication::processEvents();  // the repaint the tick asked for
            ImageBuffer whole;
            WaveformRasterizer().render(WaveformScene::make(view->currentInputs()), whole, 1.0, 0, nullptr);
            if (path == Path::surface) {
                EXPECT_TRUE(testing::sameImage(surface.shown, whole)) << "level " << level;
                continue;
            }
            // The offscreen platform's window store is opaque: the premultiplied colours, over black.
            const QImage shown =
                view->screen()->grabWindow(view->winId()).toImage().convertToFormat(QImage::Format_RGB32);
            const QImage expected(reinterpret_cast<const uchar*>(whole.data()), whole.width(), whole.height(),
                                  QImage::Format_RGB32);
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
    view.reset();
    // The view's observers are gone with it; the remaining ones still hear every change.
    preferences->setColor(WaveColor::neon);
    model->pause();
    EXPECT_EQ(notifications, 6);
}

}  // namespace
}  // namespace sonavista
