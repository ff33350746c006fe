#include "app/StatusMenuModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace sonavista {
namespace {

std::vector<std::string> titles(const std::vector<StatusMenuItem>& items) {
    std::vector<std::string> result;
    for (const auto& item : items) result.push_back(item.isSeparator ? "-" : item.title);
    return result;
}

TEST(StatusMenuModelTest, StructureTitlesAndKeys) {
    const StatusMenuModel model = StatusMenuModel::initial();
    EXPECT_EQ(titles(model.items()),
              (std::vector<std::string>{"Music Player: Detecting", "Audio Response: Waiting for Playback",
                                        "Settings Not Saved (see Settings)", "Open System Audio Permissions...", "-", "Open Settings...", "-",
                                        "Show Waveform", "Show Automatically with Music Players",
                                        "Keep on Desktop Layer", "React to Volume and Rhythm",
                                        "Retry Audio Detection", "Display Mode", "Position", "Color", "-",
                                        "Launch at Login", "-", "Quit Sonavista"}));
    EXPECT_EQ(titles(model.items()[12].submenu), (std::vector<std::string>{"Standard Waveform", "Fullscreen Fog"}));
    EXPECT_EQ(titles(model.items()[13].submenu),
              (std::vector<std::string>{"Top of Screen", "Center of Screen", "Bottom of Screen"}));
    EXPECT_EQ(titles(model.items()[14].submenu),
              (std::vector<std::string>{"Black", "White", "Cyan", "Pink", "Blue", "Purple", "Green", "Orange",
                                        "Yellow", "-", "Aurora", "Ocean", "Sunset", "Neon", "-", "Candy Pop",
                                        "Lime Pulse", "Mint Grape", "Coral Sky"}));
    EXPECT_EQ(model.find(StatusMenuAction::selectWaveColor, "candyPop")->title, "Candy Pop");

    std::vector<std::string> keys;
    for (const auto& item : model.items()) {
        if (!item.keyEquivalent.empty()) keys.push_back(item.title + "=" + item.keyEquivalent);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Open Settings...=,", "Show Waveform=w", "Quit Sonavista=q"}));
    EXPECT_FALSE(model.items()[0].enabled);
    EXPECT_FALSE(model.items()[0].action);
    EXPECT_TRUE(model.find(StatusMenuAction::openAudioCaptureSettings)->hidden);
    EXPECT_TRUE(model.settingsNotSavedItem().hidden);
}

TEST(StatusMenuModelTest, FirstLineNamesPlayerAndState) {
    struct Case {
        std::optional<MusicPlayer> player;
        MusicPlaybackState state;
        const char* title;
    };
    const Case cases[] = {
        {std::nullopt, MusicPlaybackState::notRunning, "Music Player: Not Running"},
        {MusicPlayer::spotify, MusicPlaybackState::permissionDenied, "Spotify: Automation Permission Required"},
        {MusicPlayer::youtube, MusicPlaybackState::playing, "YouTube: Playing"},
        {MusicPlayer::netEaseMusic, MusicPlaybackState::stopped, "NetEase Cloud Music: Stopped"},
    };
    for (const Case& c : cases) {
        StatusMenuState state;
        state.currentMusicPlayer = c.player;
        state.currentPlaybackState = c.state;
        EXPECT_EQ(StatusMenuModel::make(state).playbackStatusItem().title, c.title);
    }
}

TEST(StatusMenuModelTest, AudioLineAndPermissionCommand) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        AudioCaptureStatus status;
        double level;
        const char* title;
    };
    const Case cases[] = {
        {AudioCaptureStatus::live, 1.0, "Audio Analysis: Live 100%"},
        {AudioCaptureStatus::live, 0.005, "Audio Analysis: Live 1%"},
        {AudioCaptureStatus::live, 0.004, "Audio Analysis: Live 0%"},
        {AudioCaptureStatus::live, 0.423, "Audio Analysis: Live 42%"},
        {AudioCaptureStatus::live, 0.125, "Audio Analysis: Live 13%"},
        {AudioCaptureStatus::live, nan, "Audio Analysis: Live 0%"},
        {AudioCaptureStatus::live, 7.0, "Audio Analysis: Live 100%"},
        {AudioCaptureStatus::waiting, 0.5, "Audio Analysis: Waiting for Playback"},
        {AudioCaptureStatus::fallback, 0.5, "Audio Analysis: Fixed-Level Fallback"},
        {AudioCaptureStatus::permissionRequired, 0.5, "Audio Analysis: System Audio Permission Required"},
        {AudioCaptureStatus::protectedAudio, 0.5, "Audio Analysis: Protected or Muted Audio"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        StatusMenuState state;
        state.captureStatus = c.status;
        state.audioLevel = c.level;
        const StatusMenuModel model = StatusMenuModel::make(state);
        EXPECT_EQ(model.audioStatusItem().title, c.title);
        EXPECT_EQ(model.find(StatusMenuAction::openAudioCaptureSettings)->hidden,
                  c.status != AudioCaptureStatus::permissionRequired);
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
