#include "visualizer/OverlayWindowController.h"

#include "base/WeakCallback.h"
#include "visualizer/DesktopCoordinates.h"
#include "visualizer/OverlayLayout.h"

namespace sonavista {

std::shared_ptr<OverlayWindowController> OverlayWindowController::create(
    std::shared_ptr<OverlayPreferences> preferences, std::shared_ptr<OverlayPanel> panel,
    std::shared_ptr<ScreenArrangement> screens) {
    std::shared_ptr<OverlayWindowController> controller(
        new OverlayWindowController(std::move(preferences), std::move(panel), std::move(screens)));
    controller->applyWindowLevel();
    controller->reposition();
    controller->screens_->setChangeHandler(
        weakCallback(controller, [](OverlayWindowController& self) { self.screenParametersDidChange(); }));
    return controller;
}

OverlayWindowController::OverlayWindowController(std::shared_ptr<OverlayPreferences> preferences,
                                                 std::shared_ptr<OverlayPanel> panel,
                                                 std::shared_ptr<ScreenArrangement> screens)
    : preferences_(std::move(preferences)), panel_(std::move(panel)), screens_(std::move(screens)) {}

OverlayWindowController::~OverlayWindowController() {
    screens_->setChangeHandler({});
}

void OverlayWindowController::applyWindowLevel() {
    const auto mode = preferences_->displayMode();
    panel_->setLevel(OverlayLayout::windowLevel(preferences_->avoidsCoveringWindows(), mode));
    panel_->setFrostedBackdrop(mode == OverlayDisplayMode::fullscreenFog);
}

void OverlayWindowController::reposition() {
    const auto windowSystemScreens = screens_->screens();
    const auto mainScreen = screens_->mainScreen();
    const auto coordinates = DesktopCoordinates::forScreens(windowSystemScreens, mainScreen);

    std::vector<OverlayScreen> screens;
    screens.reserve(windowSystemScreens.size());
    for (const auto& screen : windowSystemScreens) {
        screens.push_back(coordinates.toLayout(screen));
    }
    std::optional<OverlayPoint> pointer;
    if (const auto pixel = screens_->pointer()) {
        pointer = coordinates.pointerToLayout(*pixel);
    }
    const auto target = OverlayLayout::targetScreen(screens, mainScreen, pointer);
    if (!target) {
        return;
    }
    const auto frame = OverlayLayout::frame(preferences_->displayMode(), preferences_->position(), screens[*target]);
    panel_->setFrame(DesktopCoordinates::toPixels(coordinates.toWindowSystem(frame)));
}

void OverlayWindowController::showPanel() {
    panel_->showPanel();
}

void OverlayWindowController::hidePanel() {
    panel_->hidePanel();
}

void OverlayWindowController::showOverlay() {
    applyWindowLevel();
    reposition();
    showPanel();
}

void OverlayWindowController::screenParametersDidChange() {
    applyWindowLevel();
    reposition();
}

}  // namespace sonavista
