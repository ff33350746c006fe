#include "preferences/OverlayPreferences.h"

#include "playback/MprisPlayerIdentity.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace sonavista {

OverlayPreferences::OverlayPreferences(std::shared_ptr<SettingsStore> defaults) : store_(std::move(defaults)) {
    load();
}

std::shared_ptr<OverlayPreferences> OverlayPreferences::create(std::shared_ptr<SettingsStore> defaults) {
    return std::make_shared<OverlayPreferences>(std::move(defaults));
}

bool OverlayPreferences::boolValue(std::string_view key, bool defaultValue) const {
    return store_->hasObject(key) ? store_->boolValue(key) : defaultValue;
}

void OverlayPreferences::load() {
    overlayEnabled_ = boolValue(overlayEnabledKey, true);
    autoShow_ = boolValue(autoShowKey, true);
    avoidsCoveringWindows_ = boolValue(avoidsCoveringWindowsKey, true);
    audioResponsive_ = boolValue(audioResponsiveKey, true);
    visualizesPlayingPlayerOnly_ = boolValue(visualizesPlayingPlayerOnlyKey, true);
    // Saved as a quoted string; a hand-edited file may hold a bare number, which counts too.
    const auto storedOffset = store_->numberValue(audioDelayOffsetKey).value_or(0.0);
    audioDelayOffset_ = static_cast<int>(std::lround(std::clamp<double>(
        storedOffset, minimumAudioDelayOffset, maximumAudioDelayOffset)));

    const auto storedMode = store_->stringValue(displayModeKey);
    displayMode_ = storedMode ? overlayDisplayModeFromRawValue(*storedMode).value_or(defaultDisplayMode)
                              : defaultDisplayMode;
    const auto storedPosition = store_->stringValue(positionKey);
    position_ = storedPosition ? overlayPositionFromRawValue(*storedPosition).value_or(defaultPosition)
                               : defaultPosition;
    const auto storedColor = store_->stringValue(colorKey);
    color_ = storedColor ? waveColorFromRawValue(*storedColor).value_or(defaultColor) : defaultColor;
    loadOtherPlayers();

    const auto storedPlayers = store_->stringArrayValue(enabledPlayersKey);
    if (!storedPlayers) {
        // First launch: everything enabled. The list itself is written on its first assignment.
        enabledPlayers_ = MusicPlayerSet(allMusicPlayers.begin(), allMusicPlayers.end());
        store_->setBool(browserPlayersMigrationKey, true);
        return;
    }
    enabledPlayers_.clear();
    for (const std::string& raw : *storedPlayers) {
        if (const auto player = musicPlayerFromRawValue(raw)) {
            enabledPlayers_.insert(*player);
        }
    }
    // Lists stored before the web players existed gain them once.
    if (!store_->boolValue(browserPlayersMigrationKey)) {
        MusicPlayerSet migrated = enabledPlayers_;
        migrated.insert({MusicPlayer::spotifyWeb, MusicPlayer::youtube, MusicPlayer::qqMusicWeb});
        setEnabledPlayers(std::move(migrated));
    }
    store_->setBool(browserPlayersMigrationKey, true);
}

void OverlayPreferences::setOverlayEnabled(bool value) {
    overlayEnabled_ = value;
    store_->setBool(overlayEnabledKey, value);
    observers_.notify(Property::overlayEnabled);
}

void OverlayPreferences::setAutoShow(bool value) {
    autoShow_ = value;
    store_->setBool(autoShowKey, value);
    observers_.notify(Property::autoShow);
}

void OverlayPreferences::setAvoidsCoveringWindows(bool value) {
    avoidsCoveringWindows_ = value;
    store_->setBool(avoidsCoveringWindowsKey, value);
    observers_.notify(Property::avoidsCoveringWindows);
}

void OverlayPreferences::setAudioResponsive(bool value) {
    audioResponsive_ = value;
    store_->setBool(audioResponsiveKey, value);
    observers_.notify(Property::audioResponsive);
}

void OverlayPreferences::setVisualizesPlayingPlayerOnly(bool value) {
    visualizesPlayingPlayerOnly_ = value;
    store_->setBool(visualizesPlayingPlayerOnlyKey, value);
    observers_.notify(Property::visualizesPlayingPlayerOnly);
}

void OverlayPreferences::setAudioDelayOffset(int milliseconds) {
    audioDelayOffset_ = std::clamp(milliseconds, minimumAudioDelayOffset, maximumAudioDelayOffset);
    store_->setString(audioDelayOffsetKey, std::to_string(audioDelayOffset_));
    observers_.notify(Property::audioDelayOffset);
}

void OverlayPreferences::setDisplayMode(OverlayDisplayMode value) {
    displayMode_ = value;
    store_->setString(displayModeKey, rawValue(value));
    observers_.notify(Property::displayMode);
}

void OverlayPreferences::setPosition(OverlayPosition value) {
    position_ = value;
    store_->setString(positionKey, rawValue(value));
    observers_.notify(Property::position);
}

void OverlayPreferences::setColor(WaveColor value) {
    color_ = value;
    store_->setString(colorKey, rawValue(value));
    observers_.notify(Property::color);
}

void OverlayPreferences::setEnabledPlayers(MusicPlayerSet value) {
    enabledPlayers_ = std::move(value);
    store_->setStringArray(enabledPlayersKey, sortedRawValues(enabledPlayers_));
    observers_.notify(Property::enabledPlayers);
}

void OverlayPreferences::setPlayer(MusicPlayer player, bool enabled) {
    MusicPlayerSet players = enabledPlayers_;
    if (enabled) {
        players.insert(player);
    } else {
        players.erase(player);
    }
    setEnabledPlayers(std::move(players));
}

void OverlayPreferences::loadOtherPlayers() {
    otherPlayers_.clear();
    const auto stored = store_->stringArrayValue(otherPlayersKey);
    if (!stored) {
        return;
    }
    for (std::string_view entry : *stored) {
        // Malformed entries and repeated stems are skipped; the name keeps any '|' it has.
        auto first = entry.find('|');
        auto second = first == std::string_view::npos ? first : entry.find('|', first + 1);
        auto third = second == std::string_view::npos ? second : entry.find('|', second + 1);
        if (third == std::string_view::npos) {
            continue;
        }
        const auto stem = entry.substr(0, first);
        const auto flag = entry.substr(first + 1, second - first - 1);
        if (!isValidMprisStem(stem) || (flag != "0" && flag != "1") ||
            std::any_of(otherPlayers_.begin(), otherPlayers_.end(),
                        [&](const OtherPlayerSetting& known) { return known.stem == stem; })) {
            continue;
        }
        otherPlayers_.push_back(OtherPlayerSetting{std::string(stem), std::string(entry.substr(third + 1)),
                                                   std::string(entry.substr(second + 1, third - second - 1)),
                                                   flag == "1"});
    }
}

void OverlayPreferences::writeOtherPlayers() {
    std::vector<std::string> entries;
    for (const auto& player : otherPlayers_) {
        entries.push_back(player.stem + (player.enabled ? "|1|" : "|0|") + player.desktopEntry + "|" + player.name);
    }
    store_->setStringArray(otherPlayersKey, entries);
    observers_.notify(Property::otherPlayers);
}

bool OverlayPreferences::isOtherPlayerEnabled(std::string_view stem) const {
    for (const auto& player : otherPlayers_) {
        if (player.stem == stem) {
            return player.enabled;
        }
    }
    return isOtherPlayerEnabledByDefault(stem);
}

void OverlayPreferences::rememberOtherPlayer(std::string_view stem, std::string_view name,
                                             std::string_view desktopEntry) {
    if (!isValidMprisStem(stem)) {
        return;
    }
    // A '|' in the desktop entry would break the stored entry; such an entry names no icon.
    if (desktopEntry.find('|') != std::string_view::npos) {
        desktopEntry = {};
    }
    for (auto& player : otherPlayers_) {
        if (player.stem == stem) {
            if (player.name == name && player.desktopEntry == desktopEntry) {
                return;
            }
            player.name = name;
            player.desktopEntry = desktopEntry;
            writeOtherPlayers();
            return;
        }
    }
    otherPlayers_.push_back(OtherPlayerSetting{std::string(stem), std::string(name), std::string(desktopEntry),
                                               isOtherPlayerEnabledByDefault(stem)});
    writeOtherPlayers();
}

void OverlayPreferences::setOtherPlayer(std::string_view stem, bool enabled) {
    if (!isValidMprisStem(stem)) {
        return;
    }
    auto known = std::find_if(otherPlayers_.begin(), otherPlayers_.end(),
                              [&](const OtherPlayerSetting& player) { return player.stem == stem; });
    if (known == otherPlayers_.end()) {
        otherPlayers_.push_back(OtherPlayerSetting{std::string(stem), std::string(stem), {}, enabled});
    } else {
        known->enabled = enabled;
    }
    writeOtherPlayers();
}

std::vector<std::string> OverlayPreferences::sortedRawValues(const MusicPlayerSet& players) {
    std::vector<std::string> raw;
    raw.reserve(players.size());
    for (MusicPlayer player : players) {
        raw.emplace_back(rawValue(player));
    }
    std::sort(raw.begin(), raw.end());
    return raw;
}

}  // namespace sonavista
