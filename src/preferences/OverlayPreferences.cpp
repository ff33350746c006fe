#include "preferences/OverlayPreferences.h"

#include <algorithm>
#include <utility>

namespace sonavista {

OverlayPreferences::OverlayPreferences(std::shared_ptr<SettingsStore> defaults) : defaults_(std::move(defaults)) {
    load();
}

std::shared_ptr<OverlayPreferences> OverlayPreferences::create(std::shared_ptr<SettingsStore> defaults) {
    return std::make_shared<OverlayPreferences>(std::move(defaults));
}

bool OverlayPreferences::boolValue(std::string_view key, bool defaultValue) const {
    return defaults_->hasObject(key) ? defaults_->boolValue(key) : defaultValue;
}

void OverlayPreferences::load() {
    overlayEnabled_ = boolValue(overlayEnabledKey, true);
    autoShow_ = boolValue(autoShowKey, true);
    avoidsCoveringWindows_ = boolValue(avoidsCoveringWindowsKey, true);
    audioResponsive_ = boolValue(audioResponsiveKey, true);

    const auto storedMode = defaults_->stringValue(displayModeKey);
    displayMode_ = storedMode ? overlayDisplayModeFromRawValue(*storedMode).value_or(defaultDisplayMode)
                              : defaultDisplayMode;
    const auto storedPosition = defaults_->stringValue(positionKey);
    position_ = storedPosition ? overlayPositionFromRawValue(*storedPosition).value_or(defaultPosition)
                               : defaultPosition;
    const auto storedColor = defaults_->stringValue(colorKey);
    color_ = storedColor ? waveColorFromRawValue(*storedColor).value_or(defaultColor) : defaultColor;

    const auto storedPlayers = defaults_->stringArrayValue(enabledPlayersKey);
    if (!storedPlayers) {
        // First launch: everything enabled. The list itself is written on its first assignment.
        enabledPlayers_ = MusicPlayerSet(allMusicPlayers.begin(), allMusicPlayers.end());
        defaults_->setBool(browserPlayersMigrationKey, true);
        return;
    }
    enabledPlayers_.clear();
    for (const std::string& raw : *storedPlayers) {
        if (const auto player = musicPlayerFromRawValue(raw)) {
            enabledPlayers_.insert(*player);
        }
    }
    // Lists stored before the web players existed gain them once.
    if (!defaults_->boolValue(browserPlayersMigrationKey)) {
        MusicPlayerSet migrated = enabledPlayers_;
        migrated.insert({MusicPlayer::spotifyWeb, MusicPlayer::youtube, MusicPlayer::qqMusicWeb});
        setEnabledPlayers(std::move(migrated));
    }
    defaults_->setBool(browserPlayersMigrationKey, true);
}

void OverlayPreferences::setOverlayEnabled(bool value) {
    overlayEnabled_ = value;
    defaults_->setBool(overlayEnabledKey, value);
    notify(Property::overlayEnabled);
}

void OverlayPreferences::setAutoShow(bool value) {
    autoShow_ = value;
    defaults_->setBool(autoShowKey, value);
    notify(Property::autoShow);
}

void OverlayPreferences::setAvoidsCoveringWindows(bool value) {
    avoidsCoveringWindows_ = value;
    defaults_->setBool(avoidsCoveringWindowsKey, value);
    notify(Property::avoidsCoveringWindows);
}

void OverlayPreferences::setAudioResponsive(bool value) {
    audioResponsive_ = value;
    defaults_->setBool(audioResponsiveKey, value);
    notify(Property::audioResponsive);
}

void OverlayPreferences::setDisplayMode(OverlayDisplayMode value) {
    displayMode_ = value;
    defaults_->setString(displayModeKey, rawValue(value));
    notify(Property::displayMode);
}

void OverlayPreferences::setPosition(OverlayPosition value) {
    position_ = value;
    defaults_->setString(positionKey, rawValue(value));
    notify(Property::position);
}

void OverlayPreferences::setColor(WaveColor value) {
    color_ = value;
    defaults_->setString(colorKey, rawValue(value));
    notify(Property::color);
}

void OverlayPreferences::setEnabledPlayers(MusicPlayerSet value) {
    enabledPlayers_ = std::move(value);
    defaults_->setStringArray(enabledPlayersKey, sortedRawValues(enabledPlayers_));
    notify(Property::enabledPlayers);
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

std::vector<std::string> OverlayPreferences::sortedRawValues(const MusicPlayerSet& players) {
    std::vector<std::string> raw;
    raw.reserve(players.size());
    for (MusicPlayer player : players) {
        raw.emplace_back(rawValue(player));
    }
    std::sort(raw.begin(), raw.end());
    return raw;
}

OverlayPreferences::ObserverToken OverlayPreferences::addObserver(Observer observer) {
    const ObserverToken token = nextToken_++;
    observers_.emplace(token, std::make_shared<Observer>(std::move(observer)));
    return token;
}

void OverlayPreferences::removeObserver(ObserverToken token) {
    observers_.erase(token);
}

void OverlayPreferences::notify(Property property) {
    // Iterate over a snapshot so observers may add or remove observers; one removed during this
    // round is not called any more.
    std::vector<std::pair<ObserverToken, std::shared_ptr<Observer>>> current(observers_.begin(), observers_.end());
    for (const auto& [token, observer] : current) {
        if (observers_.count(token) != 0) {
            (*observer)(property);
        }
    }
}

}  // namespace sonavista
