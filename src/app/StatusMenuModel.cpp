#include "app/StatusMenuModel.h"

#include "visualizer/AudioLevelPercent.h"

namespace sonavista {

namespace {

// Positions of the items the refresh changes, in the top-level list.
enum TopIndex : std::size_t {
    playbackStatusIndex = 0,
    audioStatusIndex = 1,
    settingsNotSavedIndex = 2,
    audioPermissionIndex = 3,
    overlayEnabledIndex = 7,
    autoShowIndex = 8,
    avoidCoveringIndex = 9,
    audioResponsiveIndex = 10,
    playingPlayerOnlyIndex = 11,
    retryAudioIndex = 12,
    displayModeIndex = 13,
    positionIndex = 14,
    colorIndex = 15,
    launchAtLoginIndex = 17,
};

StatusMenuItem separator() {
    StatusMenuItem item;
    item.isSeparator = true;
    return item;
}

StatusMenuItem command(std::string title, StatusMenuAction action, std::string key = {}, bool checkable = false) {
    StatusMenuItem item;
    item.title = std::move(title);
    item.action = action;
    item.keyEquivalent = std::move(key);
    item.checkable = checkable;
    return item;
}

StatusMenuItem information(std::string title) {
    StatusMenuItem item;
    item.title = std::move(title);
    item.enabled = false;
    return item;
}

StatusMenuItem parent(std::string title, std::vector<StatusMenuItem> submenu) {
    StatusMenuItem item;
    item.title = std::move(title);
    item.submenu = std::move(submenu);
    return item;
}

std::vector<StatusMenuItem> colorSubmenu() {
    std::vector<StatusMenuItem> items;
    for (WaveColorGroup colorGroup : allWaveColorGroups) {
        if (colorGroup != allWaveColorGroups.front()) items.push_back(separator());
        for (WaveColor preset : allWaveColors) {
            if (group(preset) != colorGroup) continue;
            StatusMenuItem item = command(std::string(displayName(preset)), StatusMenuAction::selectWaveColor, {}, true);
            item.data = std::string(rawValue(preset));
            items.push_back(std::move(item));
        }
    }
    return items;
}

const StatusMenuItem* findIn(const std::vector<StatusMenuItem>& items, StatusMenuAction action,
                             std::string_view data) {
    for (const StatusMenuItem& item : items) {
        if (item.action == action &&
            (action != StatusMenuAction::selectWaveColor || item.data == data)) {
            return &item;
        }
        if (const StatusMenuItem* found = findIn(item.submenu, action, data)) return found;
    }
    return nullptr;
}

}  // namespace

StatusMenuModel StatusMenuModel::initial() {
    using A = StatusMenuAction;
    StatusMenuModel model;
    StatusMenuItem permission = command("Open System Audio Permissions...", A::openAudioCaptureSettings);
    permission.hidden = true;
    StatusMenuItem notSaved = information("Settings Not Saved (see Settings)");
    notSaved.hidden = true;
    model.items_ = {
        information("Music Player: Detecting"),
        information("Audio Response: Waiting for Playback"),
        notSaved,
        permission,
        separator(),
        command("Open Settings...", A::openSettingsWindow, ","),
        separator(),
        command("Show Waveform", A::toggleOverlayEnabled, "w", true),
        command("Show Automatically with Music Players", A::toggleAutoShow, {}, true),
        command("Keep on Desktop Layer", A::toggleAvoidCovering, {}, true),
        command("React to Volume and Rhythm", A::toggleAudioResponsive, {}, true),
        command("Visualize only the playing player", A::toggleVisualizesPlayingPlayerOnly, {}, true),
        command("Retry Audio Detection", A::retryAudioCapture),
        parent("Display Mode", {command("Standard Waveform", A::selectCompactMode, {}, true),
                                command("Fullscreen Fog", A::selectFullscreenMode, {}, true)}),
        parent("Position", {command("Top of Screen", A::selectTopPosition, {}, true),
                            command("Center of Screen", A::selectCenterPosition, {}, true),
                            command("Bottom of Screen", A::selectBottomPosition, {}, true)}),
        parent("Color", colorSubmenu()),
        separator(),
        command("Launch at Login", A::toggleLaunchAtLogin, {}, true),
        separator(),
        command("Quit Sonavista", A::quitApplication, "q"),
    };
    return model;
}

long StatusMenuModel::percent(double level) { return audioLevelPercent(level); }

std::string StatusMenuModel::audioStatusTitle(AudioCaptureStatus status, double audioLevel) {
    // Built in one allocation: the live line is made for every analysed frame.
    std::string title;
    title.reserve(48);
    title += "Audio Analysis: ";
    switch (status) {
        case AudioCaptureStatus::live:
            title += "Live ";
            title += std::to_string(percent(audioLevel));
            title += '%';
            break;
        case AudioCaptureStatus::fallback: title += "Fixed-Level Fallback"; break;
        case AudioCaptureStatus::permissionRequired: title += "System Audio Permission Required"; break;
        case AudioCaptureStatus::protectedAudio: title += "Protected or Muted Audio"; break;
        case AudioCaptureStatus::waiting:
        default: title += "Waiting for Playback"; break;
    }
    return title;
}

bool StatusMenuModel::setAudioStatus(AudioCaptureStatus status, double audioLevel) {
    std::string title = audioStatusTitle(status, audioLevel);
    audioStatus_ = status;
    // The permission item follows the status, which the line names.
    if (title == items_[audioStatusIndex].title) return false;
    items_[audioStatusIndex].title = std::move(title);
    items_[audioPermissionIndex].hidden = status != AudioCaptureStatus::permissionRequired;
    return true;
}

StatusMenuModel StatusMenuModel::make(const StatusMenuState& state) {
    StatusMenuModel model = initial();
    auto& items = model.items_;

    const std::string playerName = state.currentMusicPlayer || state.currentOtherPlayerName.empty()
                                       ? std::string(displayName(state.currentMusicPlayer))
                                       : state.currentOtherPlayerName;
    items[playbackStatusIndex].title = playerName + ": " + std::string(displayName(state.currentPlaybackState));
    model.setAudioStatus(state.captureStatus, state.audioLevel);
    items[settingsNotSavedIndex].hidden = !state.settingsNotSaved;
    items[retryAudioIndex].enabled = state.audioResponsive && state.currentPlaybackState == MusicPlaybackState::playing;

    items[overlayEnabledIndex].checked = state.overlayEnabled;
    items[autoShowIndex].checked = state.autoShow;
    items[avoidCoveringIndex].checked = state.avoidsCoveringWindows;
    items[audioResponsiveIndex].checked = state.audioResponsive;
    items[playingPlayerOnlyIndex].checked = state.visualizesPlayingPlayerOnly;
    items[playingPlayerOnlyIndex].enabled = state.audioResponsive;

    auto& modes = items[displayModeIndex].submenu;
    modes[0].checked = state.displayMode == OverlayDisplayMode::compact;
    modes[1].checked = state.displayMode == OverlayDisplayMode::fullscreenFog;

    items[positionIndex].enabled = state.displayMode == OverlayDisplayMode::compact;
    auto& positions = items[positionIndex].submenu;
    positions[0].checked = state.position == OverlayPosition::top;
    positions[1].checked = state.position == OverlayPosition::center;
    positions[2].checked = state.position == OverlayPosition::bottom;

    for (StatusMenuItem& item : items[colorIndex].submenu) {
        if (!item.isSeparator) item.checked = item.data == rawValue(state.color);
    }
    items[launchAtLoginIndex].checked = state.launchAtLoginEnabled;
    return model;
}

const StatusMenuItem* StatusMenuModel::find(StatusMenuAction action, std::string_view data) const {
    return findIn(items_, action, data);
}

const StatusMenuItem& StatusMenuModel::positionItem() const { return items_[positionIndex]; }

}  // namespace sonavista
