#include "app/StatusMenuModel.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace sonavista {
namespace {

using A = StatusMenuAction;

// With one switch off at a time, exactly its item loses the check mark.
TEST(StatusMenuModelTest, EachCheckMarkFollowsItsOwnSetting) {
    const std::pair<bool StatusMenuState::*, A> switches[] = {
        {&StatusMenuState::overlayEnabled, A::toggleOverlayEnabled},
        {&StatusMenuState::autoShow, A::toggleAutoShow},
        {&StatusMenuState::avoidsCoveringWindows, A::toggleAvoidCovering},
        {&StatusMenuState::audioResponsive, A::toggleAudioResponsive},
        {&StatusMenuState::visualizesPlayingPlayerOnly, A::toggleVisualizesPlayingPlayerOnly},
        {&StatusMenuState::launchAtLoginEnabled, A::toggleLaunchAtLogin},
    };
    for (const auto& off : switches) {
        StatusMenuState state;
        for (const auto& [field, action] : switches) state.*field = field != off.first;
        const StatusMenuModel model = StatusMenuModel::make(state);
        for (const auto& [field, action] : switches) {
            EXPECT_EQ(model.find(action)->checked, field != off.first) << static_cast<int>(action);
        }
    }
}

TEST(StatusMenuModelTest, PickersRetryAndStatusLinesFollowTheState) {
    StatusMenuState state;
    state.currentPlaybackState = MusicPlaybackState::playing;
    state.displayMode = OverlayDisplayMode::fullscreenFog;
    state.position = OverlayPosition::top;
    StatusMenuModel model = StatusMenuModel::make(state);
    EXPECT_FALSE(model.playbackStatusItem().enabled);  // a status line, not a command
    EXPECT_TRUE(model.find(A::retryAudioCapture)->enabled);
    EXPECT_FALSE(model.find(A::selectCompactMode)->checked);
    EXPECT_TRUE(model.find(A::selectFullscreenMode)->checked);
    // Fog mode: the position parent is disabled, its items still show the stored position.
    EXPECT_FALSE(model.positionItem().enabled);
    EXPECT_TRUE(model.find(A::selectTopPosition)->checked);
    EXPECT_FALSE(model.find(A::selectBottomPosition)->checked);

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
        const auto& colours = model.items()[15].submenu;
        EXPECT_EQ(std::count_if(colours.begin(), colours.end(), [](const auto& item) { return item.checked; }), 1);
        EXPECT_TRUE(model.find(A::selectWaveColor, std::string(rawValue(color)))->checked) << rawValue(color);
    }
}

}  // namespace
}  // namespace sonavista
