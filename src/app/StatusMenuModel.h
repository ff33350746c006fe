#pragma once

#include "app/StatusMenuAction.h"
#include "playback/MusicPlaybackState.h"
#include "playback/MusicPlayer.h"
#include "preferences/OverlayPreferences.h"
#include "preferences/WaveColor.h"
#include "visualizer/AudioCaptureStatus.h"

#include <optional>
#include <string>
#include <vector>

namespace sonavista {

// One entry of the status menu: a command, an information line, a submenu parent or a
// separator.
struct StatusMenuItem {
    bool isSeparator = false;
    std::string title;
    // A single character used with the Ctrl modifier; empty for none.
    std::string keyEquivalent;
    std::optional<StatusMenuAction> action;
    bool enabled = true;
    bool hidden = false;
    // Whether the item shows a check mark at all, and whether it is on.
    bool checkable = false;
    bool checked = false;
    // The colour items carry their preset's raw value ("candyPop").
    std::string data;
    std::vector<StatusMenuItem> submenu;

    bool operator==(const StatusMenuItem&) const = default;
};

// Everything the menu shows, gathered from the application, the preferences, the visualizer
// model and the login item.
struct StatusMenuState {
    std::optional<MusicPlayer> currentMusicPlayer;
    // The name of the current player when it is outside the catalogue.
    std::string currentOtherPlayerName;
    MusicPlaybackState currentPlaybackState = MusicPlaybackState::notRunning;
    AudioCaptureStatus captureStatus = AudioCaptureStatus::waiting;
    double audioLevel = 0.0;
    bool overlayEnabled = true;
    bool autoShow = true;
    bool avoidsCoveringWindows = true;
    bool audioResponsive = true;
    bool visualizesPlayingPlayerOnly = true;
    OverlayDisplayMode displayMode = OverlayDisplayMode::compact;
    OverlayPosition position = OverlayPosition::center;
    WaveColor color = WaveColor::cyan;
    bool launchAtLoginEnabled = false;
    // The latest settings change could not be saved.
    bool settingsNotSaved = false;
};

// The whole status menu as plain values. The structure never changes; `make` derives every
// title and flag from the state, so two states that are equal give equal menus, whatever
// happened in between.
class StatusMenuModel {
public:
    // The menu as first built, before its first refresh ("Music Player: Detecting").
    static StatusMenuModel initial();
    static StatusMenuModel make(const StatusMenuState& state);
    // What `make` derives from the capture status and the audio level alone (the audio line
    // and whether the permission item shows), set in place: a live audio frame changes nothing
    // else. Answers whether the audio line reads differently now.
    bool setAudioStatus(AudioCaptureStatus status, double audioLevel);
    // The capture status the audio line names.
    AudioCaptureStatus audioStatus() const { return audioStatus_; }

    const std::vector<StatusMenuItem>& items() const { return items_; }
    // The first item (searching submenus too) that runs `action`; for `selectWaveColor`, the
    // one whose data is `data`.
    const StatusMenuItem* find(StatusMenuAction action, std::string_view data = {}) const;
    // The first line, e.g. "Spotify: Playing".
    const StatusMenuItem& playbackStatusItem() const { return items_[0]; }
    // The second line, e.g. "Audio Analysis: Live 42%".
    const StatusMenuItem& audioStatusItem() const { return items_[1]; }
    // The third, shown only while the settings cannot be saved.
    const StatusMenuItem& settingsNotSavedItem() const { return items_[2]; }
    const StatusMenuItem& positionItem() const;

    // The audio line for a capture status and level.
    static std::string audioStatusTitle(AudioCaptureStatus status, double audioLevel);
    // A level 0...1 as a whole percentage, halves rounded away from zero; levels outside
    // 0...1 count as the nearest bound and NaN as 0.
    static long percent(double level);

    bool operator==(const StatusMenuModel&) const = default;

private:
    std::vector<StatusMenuItem> items_;
    AudioCaptureStatus audioStatus_ = AudioCaptureStatus::waiting;
};

}  // namespace sonavista
