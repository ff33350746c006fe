#include "app/StatusMenuModel.h"

#include <gtest/gtest.h>


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
}

TEST(StatusMenuModelTest, ExactlyOneColourIsChecked) {
    for (WaveColor color : allWaveColors) {
        StatusMenuState state;
        state.color = color;
        const StatusMenuModel model = StatusMenuModel::make(state);
        int checked = 0;
        for (const auto& item : model.items()[14].submenu) {
            if (item.checked) {
                ++checked;
                EXPECT_EQ(item.data, rawValue(color));
            }
        }
        EXPECT_EQ(checked, 1);
    }
}

}  // namespace
}  // namespace sonavista
