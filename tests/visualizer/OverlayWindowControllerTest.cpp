#include "preferences/MemorySettingsStore.h"
#include "visualizer/OverlayWindowController.h"

#include <gtest/gtest.h>

#include <string>

namespace sonavista {
namespace {

// Records each call to the panel as one letter: l(evel), f(rame), s(how), h(ide).
class FakePanel final : public OverlayPanel {
public:
    void setLevel(OverlayWindowLevel) override { calls += 'l'; }
    void setFrostedBackdrop(bool) override {}
    void setFrame(const PixelRect& f) override {
        frame = f;
        calls += 'f';
    }
    void showPanel() override { calls += 's'; }
    void hidePanel() override { calls += 'h'; }
    bool isVisible() const override { return false; }

    std::optional<PixelRect> frame;
    std::string calls;
};

class FakeScreens final : public ScreenArrangement {
public:
    std::vector<OverlayScreen> screens() const override { return list; }
    std::optional<std::size_t> mainScreen() const override { return main; }
    std::optional<OverlayPoint> pointer() const override { return pointerPixel; }
    void setChangeHandler(std::function<void()> h) override { handler = std::move(h); }

    // Window-system coordinates: a 1920 × 1080 primary with a 32 px top panel, and a
    // 1440 × 900 screen to its left whose top edge is 180 px lower.
    std::vector<OverlayScreen> list = {{{0, 0, 1920, 1080}, {0, 32, 1920, 1048}},
                                       {{-1440, 180, 1440, 900}, {-1440, 180, 1440, 900}}};
    std::optional<std::size_t> main = 0;
    std::optional<OverlayPoint> pointerPixel = OverlayPoint{100, 100};
    std::function<void()> handler;
};

class OverlayWindowControllerTest : public ::testing::Test {
protected:
    std::shared_ptr<OverlayPreferences> preferences =
        OverlayPreferences::create(std::make_shared<MemorySettingsStore>());
    std::shared_ptr<FakePanel> panel = std::make_shared<FakePanel>();
    std::shared_ptr<FakeScreens> screens = std::make_shared<FakeScreens>();
    std::shared_ptr<OverlayWindowController> controller = OverlayWindowController::create(preferences, panel, screens);
};

TEST_F(OverlayWindowControllerTest, LevelComesBeforeFrameAndOnlyShowingOrdersFront) {
    controller->showOverlay();
    controller->hidePanel();
    EXPECT_EQ(panel->calls, "lflfsh");
}

TEST_F(OverlayWindowControllerTest, FramesTheScreenUnderThePointerInWindowSystemPixels) {
    const std::tuple<OverlayDisplayMode, OverlayPosition, OverlayPoint, PixelRect> cases[] = {
        {OverlayDisplayMode::compact, OverlayPosition::top, {5, 5}, {0, 60, 1920, 150}},  // below the top panel
        // The screen at negative x: the band spans exactly that screen.
        {OverlayDisplayMode::compact, OverlayPosition::top, {-1, 500}, {-1440, 208, 1440, 150}},
        // The left screen's top row: taken at the pixel's centre, it lies on that screen.
        {OverlayDisplayMode::fullscreenFog, OverlayPosition::center, {-700, 180}, {-1440, 180, 1440, 900}},
        // Left of the left screen's top edge, on no screen: the main screen.
        {OverlayDisplayMode::compact, OverlayPosition::bottom, {-1, 179}, {0, 902, 1920, 150}},
    };
    for (const auto& [mode, position, pointer, expected] : cases) {
        preferences->setDisplayMode(mode);
        preferences->setPosition(position);
        screens->pointerPixel = pointer;
        controller->reposition();
        EXPECT_EQ(panel->frame, expected) << pointer.x << "," << pointer.y;
    }
}

TEST_F(OverlayWindowControllerTest, FollowsScreenChangesAndKeepsFrameWithoutScreens) {
    screens->pointerPixel = OverlayPoint{-10, 400};
    panel->calls.clear();
    screens->handler();  // std::bad_function_call while none is registered
    EXPECT_EQ(panel->calls, "lf");
    EXPECT_EQ(panel->frame, (PixelRect{-1440, 518, 1440, 225}));

    // Every screen gone: nothing moves.
    screens->list.clear();
    screens->main.reset();
    screens->handler();
    EXPECT_EQ(panel->frame, (PixelRect{-1440, 518, 1440, 225}));
}

TEST_F(OverlayWindowControllerTest, ScreenCallbackDoesNothingAfterControllerIsGone) {
    const auto retained = screens->handler;
    controller.reset();
    EXPECT_FALSE(screens->handler);  // unregistered on destruction
    panel->calls.clear();
    retained();
    EXPECT_TRUE(panel->calls.empty());
}

}  // namespace
}  // namespace sonavista
