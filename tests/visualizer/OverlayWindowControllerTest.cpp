#include "preferences/MemorySettingsStore.h"
#include "visualizer/OverlayWindowController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sonavista {
namespace {

class FakePanel final : public OverlayPanel {
public:
    void setLevel(OverlayWindowLevel l) override {
        level = l;
        calls.push_back("level");
    }
    void setFrostedBackdrop(bool enabled) override { frosted = enabled; }
    void setFrame(const PixelRect& f) override {
        frame = f;
        calls.push_back("frame");
    }
    void showPanel() override {
        visible = true;
        calls.push_back("front");
    }
    void hidePanel() override {
        visible = false;
        calls.push_back("out");
    }
    bool isVisible() const override { return visible; }

    std::optional<OverlayWindowLevel> level;
    bool frosted = false;
    std::optional<PixelRect> frame;
    bool visible = false;
    std::vector<std::string> calls;
};

class FakeScreens final : public ScreenArrangement {
public:
    std::vector<OverlayScreen> screens() const override { return list; }
    std::optional<std::size_t> mainScreen() const override { return main; }
    std::optional<OverlayPoint> pointer() const override { return pointerPixel; }
    void setChangeHandler(std::function<void()> h) override { handler = std::move(h); }

    std::vector<OverlayScreen> list;
    std::optional<std::size_t> main;
    std::optional<OverlayPoint> pointerPixel;
    std::function<void()> handler;
};

// Window-system coordinates: a 1920 × 1080 primary with a 32 px top panel, and a
// 1440 × 900 screen to its left whose top edge is 180 px lower.
const OverlayScreen primary{{0, 0, 1920, 1080}, {0, 32, 1920, 1048}};
const OverlayScreen leftScreen{{-1440, 180, 1440, 900}, {-1440, 180, 1440, 900}};

class OverlayWindowControllerTest : public ::testing::Test {
protected:
    OverlayWindowControllerTest() {
        screens->list = {primary, leftScreen};
        screens->main = 0;
        screens->pointerPixel = OverlayPoint{100, 100};
    }

    std::shared_ptr<OverlayWindowController> makeController() {
        return OverlayWindowController::create(preferences, panel, screens);
    }

    std::shared_ptr<OverlayPreferences> preferences =
        OverlayPreferences::create(std::make_shared<MemorySettingsStore>());
    std::shared_ptr<FakePanel> panel = std::make_shared<FakePanel>();
    std::shared_ptr<FakeScreens> screens = std::make_shared<FakeScreens>();
};

TEST_F(OverlayWindowControllerTest, CreationAndShowApplyLevelThenFrameAndOnlyShowOrdersFront) {
    const auto controller = makeController();
    EXPECT_EQ(panel->calls, (std::vector<std::string>{"level", "frame"}));
    EXPECT_EQ(panel->level, OverlayWindowLevel::belowDesktopIcons);  // covering avoided by default
    EXPECT_FALSE(panel->frosted);
    // Default centre band: visible height 1048 → 262 high, centred in the visible area.
    EXPECT_EQ(controller->currentFrame(), (OverlayRect{0, 393, 1920, 262}));
    EXPECT_EQ(panel->frame, (PixelRect{0, 425, 1920, 262}));
    EXPECT_FALSE(controller->isVisible());

    panel->calls.clear();
    controller->showOverlay();
    EXPECT_EQ(panel->calls, (std::vector<std::string>{"level", "frame", "front"}));
    EXPECT_TRUE(controller->isVisible());
    controller->hidePanel();
    EXPECT_FALSE(controller->isVisible());
}

TEST_F(OverlayWindowControllerTest, FramesTheScreenUnderThePointerInWindowSystemPixels) {
    struct Case {
        OverlayDisplayMode mode;
        OverlayPosition position;
        OverlayPoint pointer;
        PixelRect expected;
    };
    const Case cases[] = {
        {OverlayDisplayMode::compact, OverlayPosition::top, {5, 5}, {0, 60, 1920, 150}},  // below the top panel
        // The screen at negative x: the band spans exactly that screen.
        {OverlayDisplayMode::compact, OverlayPosition::top, {-1, 500}, {-1440, 208, 1440, 150}},
        {OverlayDisplayMode::fullscreenFog, OverlayPosition::center, {-700, 1079}, {-1440, 180, 1440, 900}},
        // Left of the left screen's top edge, on no screen: the main screen.
        {OverlayDisplayMode::compact, OverlayPosition::bottom, {-1, 179}, {0, 902, 1920, 150}},
    };
    const auto controller = makeController();
    for (const auto& c : cases) {
        preferences->setDisplayMode(c.mode);
        preferences->setPosition(c.position);
        screens->pointerPixel = c.pointer;
        controller->reposition();
        EXPECT_EQ(panel->frame, c.expected) << rawValue(c.mode) << " " << rawValue(c.position) << " at "
                                            << c.pointer.x << "," << c.pointer.y;
    }
}

TEST_F(OverlayWindowControllerTest, LevelAndBackdropFollowModeAndCovering) {
    const auto controller = makeController();
    preferences->setAvoidsCoveringWindows(false);
    controller->applyWindowLevel();
    EXPECT_EQ(panel->level, OverlayWindowLevel::floating);
    EXPECT_FALSE(panel->frosted);

    preferences->setDisplayMode(OverlayDisplayMode::fullscreenFog);
    controller->applyWindowLevel();
    EXPECT_EQ(panel->level, OverlayWindowLevel::belowDesktopIcons);
    EXPECT_TRUE(panel->frosted);
}

TEST_F(OverlayWindowControllerTest, FollowsScreenChangesAndKeepsFrameWithoutScreens) {
    const auto controller = makeController();
    screens->pointerPixel = OverlayPoint{-10, 400};
    screens->handler();  // std::bad_function_call while none is registered
    EXPECT_EQ(panel->frame, (PixelRect{-1440, 518, 1440, 225}));

    // The left screen goes away: the pointer now lies on no screen, so the main one is used.
    screens->list = {primary};
    panel->calls.clear();
    screens->handler();
    EXPECT_EQ(panel->calls, (std::vector<std::string>{"level", "frame"}));
    EXPECT_EQ(panel->frame, (PixelRect{0, 425, 1920, 262}));

    // The primary is resized.
    screens->list = {{{0, 0, 2560, 1440}, {0, 0, 2560, 1440}}};
    screens->pointerPixel = OverlayPoint{10, 10};
    screens->handler();
    EXPECT_EQ(panel->frame, (PixelRect{0, 580, 2560, 280}));

    // Every screen gone: nothing moves.
    screens->list.clear();
    screens->main.reset();
    screens->handler();
    EXPECT_EQ(panel->frame, (PixelRect{0, 580, 2560, 280}));
    EXPECT_EQ(controller->currentFrame(), (OverlayRect{0, 580, 2560, 280}));
}

TEST_F(OverlayWindowControllerTest, ScreenCallbackDoesNothingAfterControllerIsGone) {
    auto controller = makeController();
    const auto retained = screens->handler;
    controller.reset();
    EXPECT_FALSE(screens->handler);  // unregistered on destruction
    panel->calls.clear();
    retained();
    EXPECT_TRUE(panel->calls.empty());
}

}  // namespace
}  // namespace sonavista
