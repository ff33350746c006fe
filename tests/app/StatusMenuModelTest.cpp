#include "app/StatusMenuModel.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace sonavista {
namespace {

TEST(StatusMenuModelTest, StatusLinesAreInertAndKeysSitOnTheirCommands) {
    const StatusMenuModel model = StatusMenuModel::initial();
    std::vector<std::string> keys;
    for (const auto& item : model.items()) {
        if (!item.keyEquivalent.empty()) keys.push_back(item.title + "=" + item.keyEquivalent);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Open Settings...=,", "Show Waveform=w", "Quit Sonavista=q"}));
    EXPECT_FALSE(model.items()[0].enabled);
    EXPECT_FALSE(model.items()[0].action);
    EXPECT_TRUE(model.find(StatusMenuAction::openAudioCaptureSettings)->hidden);
    EXPECT_TRUE(model.settingsNotSavedItem().hidden);
    // Every colour is offered once, under its display name.
    for (WaveColor color : allWaveColors) {
        const auto* item = model.find(StatusMenuAction::selectWaveColor, std::string(rawValue(color)));
        ASSERT_NE(item, nullptr) << rawValue(color);
        EXPECT_EQ(item->title, displayName(color));
    }
}

TEST(StatusMenuModelTest, ChecksAndEnablingFollowTheState) {
    StatusMenuState state;
    state.overlayEnabled = false;
    state.autoShow = true;
    state.avoidsCoveringWindows = true;
    state.audioResponsive = true;
    state.currentPlaybackState = MusicPlaybackState::playing;
    state.displayMode = OverlayDisplayMode::fullscreenFog;
    state.position = OverlayPosition::top;
    state.launchAtLoginEnabled = true;
    StatusMenuModel model = StatusMenuModel::make(state);
    using A = StatusMenuAction;
    EXPECT_FALSE(model.find(A::toggleOverlayEnabled)->checked);
    EXPECT_TRUE(model.find(A::toggleAutoShow)->checked);
    EXPECT_TRUE(model.find(A::toggleAvoidCovering)->checked);
    EXPECT_TRUE(model.find(A::toggleAudioResponsive)->checked);
    EXPECT_TRUE(model.find(A::retryAudioCapture)->enabled);
    EXPECT_FALSE(model.find(A::selectCompactMode)->checked);
    EXPECT_TRUE(model.find(A::selectFullscreenMode)->checked);
    // Fog mode: the position parent is disabled, its items still show the stored position.
    EXPECT_FALSE(model.positionItem().enabled);
    EXPECT_TRUE(model.find(A::selectTopPosition)->checked);
    EXPECT_FALSE(model.find(A::selectBottomPosition)->checked);
    EXPECT_TRUE(model.find(A::toggleLaunchAtLogin)->checked);

    state.displayMode = OverlayDisplayMode::compact;
    state.audioResponsive = false;
    model = StatusMenuModel::make(state);
    EXPECT_TRUE(model.positionItem().enabled);
    EXPECT_FALSE(model.find(A::retryAudioCapture)->enabled);
    state.audioResponsive = true;
    state.currentPlaybackState = MusicPlaybackState::paused;
    EXPECT_FALSE(StatusMenuModel::make(state).find(A::retryAudioCapture)->enabled);

    // Exactly the current colour is checked.
    for (WaveColor color : allWaveColors) {
        state.color = color;
        model = StatusMenuModel::make(state);
        const auto& colours = model.items()[14].submenu;
        EXPECT_EQ(std::count_if(colours.begin(), colours.end(), [](const auto& item) { return item.checked; }), 1);
        EXPECT_TRUE(model.find(A::selectWaveColor, std::string(rawValue(color)))->checked) << rawValue(color);
    }
}

}  // namespace
}  // namespace sonavista
