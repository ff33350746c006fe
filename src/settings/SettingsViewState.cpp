#include "settings/SettingsViewState.h"

#include "preferences/OverlayPreferences.h"
#include "visualizer/VisualizerModel.h"

namespace sonavista {

SettingsViewState SettingsViewState::from(const OverlayPreferences& preferences, const VisualizerModel& model) {
    SettingsViewState state;
    state.overlayEnabled = preferences.overlayEnabled();
    state.autoShow = preferences.autoShow();
    state.avoidsCoveringWindows = preferences.avoidsCoveringWindows();
    state.audioResponsive = preferences.audioResponsive();
    state.displayMode = preferences.displayMode();
    state.position = preferences.position();
    state.positionEnabled = state.displayMode == OverlayDisplayMode::compact;
    state.color = preferences.color();
    state.enabledPlayers = preferences.enabledPlayers();
    state.otherPlayers = preferences.otherPlayers();
    state.visualizesPlayingPlayerOnly = preferences.visualizesPlayingPlayerOnly();
    state.audioDelayOffset = preferences.audioDelayOffset();
    state.listeningText = listeningTextFor(model);
    state.audioStatus = AudioStatusRow::forStatus(model.captureStatus(), model.audioLevel());
    state.retryEnabled = state.audioResponsive;
    state.saveError = preferences.saveError();
    state.settingsFileNotice = preferences.loadNotice();
    return state;
}

std::string SettingsViewState::listeningTextFor(const VisualizerModel& model) {
    if (model.captureStatus() != AudioCaptureStatus::live) return {};
    if (const auto& player = model.listeningTo()) return "Listening to " + *player + " only";
    return "Listening to everything the computer plays";
}

std::vector<MusicPlayer> SettingsViewState::desktopPlayers() {
    std::vector<MusicPlayer> players;
    for (MusicPlayer player : allMusicPlayers) {
        if (!isWebPlayer(player)) players.push_back(player);
    }
    return players;
}

std::vector<MusicPlayer> SettingsViewState::browserPlayers() {
    std::vector<MusicPlayer> players;
    for (MusicPlayer player : allMusicPlayers) {
        if (isWebPlayer(player)) players.push_back(player);
    }
    return players;
}

}  // namespace sonavista
