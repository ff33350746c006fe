#pragma once

#include "playback/MusicPlayer.h"
#include "preferences/OverlayPreferences.h"
#include "preferences/OverlayDisplayMode.h"
#include "preferences/OverlayPosition.h"
#include "preferences/WaveColor.h"
#include "settings/AudioStatusRow.h"

#include <optional>
#include <string>
#include <vector>

namespace sonavista {

class VisualizerModel;

// Everything the settings window shows that comes from the shared preferences and visualizer
// model, derived whole from their current values so the window never keeps a stale copy.
struct SettingsViewState {
    bool overlayEnabled = true;
    bool autoShow = true;
    bool avoidsCoveringWindows = true;
    bool audioResponsive = true;
    bool visualizesPlayingPlayerOnly = true;
    int audioDelayOffset = 0;  // milliseconds
    // Whose sound the live capture records: "Listening to Spotify only" or "Listening to
    // everything the computer plays"; empty while no live audio arrives.
    std::string listeningText;
    OverlayDisplayMode displayMode = OverlayDisplayMode::compact;
    OverlayPosition position = OverlayPosition::center;
    // The position only matters for the compact band; the picker keeps showing the stored
    // value while disabled.
    bool positionEnabled = true;
    WaveColor color = WaveColor::cyan;
    MusicPlayerSet enabledPlayers;
    std::vector<OtherPlayerSetting> otherPlayers;
    AudioStatusRow audioStatus;
    // Retrying capture makes no sense while audio response is off (the button that opens the
    // sound settings is always available).
    bool retryEnabled = true;
    // Why the latest change could not be saved; shown under the tabs until a change is saved.
    std::optional<std::string> saveError;
    // How the settings file was read when it was not read whole; shown there when no save failed.
    std::optional<std::string> settingsFileNotice;

    static SettingsViewState from(const OverlayPreferences& preferences, const VisualizerModel& model);
    static std::string listeningTextFor(const VisualizerModel& model);

    bool isPlayerEnabled(MusicPlayer player) const { return enabledPlayers.contains(player); }

    // The rows of the "Desktop Players" and "Browser Players" sections, in catalogue order.
    static std::vector<MusicPlayer> desktopPlayers();
    static std::vector<MusicPlayer> browserPlayers();

    friend bool operator==(const SettingsViewState&, const SettingsViewState&) = default;
};

}  // namespace sonavista
