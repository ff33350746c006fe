#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ObserverList.h"
#include "playback/MusicPlayer.h"
#include "preferences/OverlayDisplayMode.h"
#include "preferences/OverlayPosition.h"
#include "preferences/SettingsStore.h"
#include "preferences/WaveColor.h"

namespace sonavista {

// A player outside the catalogue that detection has seen, with the user's switch for it.
struct OtherPlayerSetting {
    std::string stem;  // of its MPRIS bus name; its raw value is "mpris:<stem>"
    std::string name;  // its own display name (MPRIS Identity)
    std::string desktopEntry;  // its desktop entry, for its icon; may be empty
    bool enabled = true;

    friend bool operator==(const OtherPlayerSetting&, const OtherPlayerSetting&) = default;
};

// The user's overlay settings. Loads every value from the store when created (repairing unknown
// values with defaults and bringing old player lists up to date once), writes each value back
// the moment it is assigned, and tells its observers about every assignment. Shared by the
// application, the overlay, the renderer, the menu and the settings window; main thread only.
class OverlayPreferences {
public:
    // Which property an assignment changed.
    enum class Property {
        overlayEnabled,
        autoShow,
        avoidsCoveringWindows,
        audioResponsive,
        displayMode,
        position,
        color,
        enabledPlayers,
        otherPlayers,
        visualizesPlayingPlayerOnly,
        audioDelayOffset,
    };

    using Observer = ObserverList<Property>::Observer;
    using ObserverToken = ObserverList<Property>::Token;  // 0 is never a valid token

    static constexpr std::string_view overlayEnabledKey = "overlayEnabled";
    static constexpr std::string_view autoShowKey = "autoShow";
    static constexpr std::string_view avoidsCoveringWindowsKey = "avoidsCoveringWindows";
    static constexpr std::string_view audioResponsiveKey = "audioResponsive";
    static constexpr std::string_view displayModeKey = "overlayDisplayMode";
    static constexpr std::string_view positionKey = "overlayPosition";
    static constexpr std::string_view colorKey = "waveColor";
    static constexpr std::string_view enabledPlayersKey = "enabledMusicPlayers";
    static constexpr std::string_view browserPlayersMigrationKey = "browserPlayersMigrationV1";
    // One entry per player seen outside the catalogue: "<stem>|<1 or 0>|<desktop entry>|<name>".
    // A file without it (written before such players were remembered) loads unchanged.
    static constexpr std::string_view otherPlayersKey = "otherMusicPlayers";
    // Whether capture records the playing player's own sound rather than the whole output.
    static constexpr std::string_view visualizesPlayingPlayerOnlyKey = "visualizesPlayingPlayerOnly";
    // The user's correction of the output latency, whole milliseconds as text ("120", "-40").
    static constexpr std::string_view audioDelayOffsetKey = "audioDelayOffsetMilliseconds";
    static constexpr int minimumAudioDelayOffset = -100;
    static constexpr int maximumAudioDelayOffset = 300;

    static constexpr OverlayDisplayMode defaultDisplayMode = OverlayDisplayMode::compact;
    static constexpr OverlayPosition defaultPosition = OverlayPosition::center;
    static constexpr WaveColor defaultColor = WaveColor::cyan;

    // Loads every value from `defaults`, which is kept for writing back.
    explicit OverlayPreferences(std::shared_ptr<SettingsStore> defaults);
    static std::shared_ptr<OverlayPreferences> create(std::shared_ptr<SettingsStore> defaults);

    OverlayPreferences(const OverlayPreferences&) = delete;
    OverlayPreferences& operator=(const OverlayPreferences&) = delete;

    bool overlayEnabled() const { return overlayEnabled_; }
    bool autoShow() const { return autoShow_; }
    bool avoidsCoveringWindows() const { return avoidsCoveringWindows_; }
    bool audioResponsive() const { return audioResponsive_; }
    bool visualizesPlayingPlayerOnly() const { return visualizesPlayingPlayerOnly_; }
    // Milliseconds, within the bounds above.
    int audioDelayOffset() const { return audioDelayOffset_; }
    OverlayDisplayMode displayMode() const { return displayMode_; }
    OverlayPosition position() const { return position_; }
    WaveColor color() const { return color_; }
    const MusicPlayerSet& enabledPlayers() const { return enabledPlayers_; }
    // In the order first seen.
    const std::vector<OtherPlayerSetting>& otherPlayers() const { return otherPlayers_; }
    // The user's switch for the player, or its default (on, except for a browser) when unseen.
    bool isOtherPlayerEnabled(std::string_view stem) const;

    // Each assignment stores the value, writes it to the store and then notifies the
    // observers, even when the value is the one already held.
    void setOverlayEnabled(bool value);
    void setAutoShow(bool value);
    void setAvoidsCoveringWindows(bool value);
    void setAudioResponsive(bool value);
    void setVisualizesPlayingPlayerOnly(bool value);
    // Clamped to the bounds above.
    void setAudioDelayOffset(int milliseconds);
    void setDisplayMode(OverlayDisplayMode value);
    void setPosition(OverlayPosition value);
    void setColor(WaveColor value);
    // Stored as the players' raw values, sorted ascending.
    void setEnabledPlayers(MusicPlayerSet value);

    // Adds or removes one player and assigns the set back (which writes and notifies).
    void setPlayer(MusicPlayer player, bool enabled);

    // Remembers a player seen outside the catalogue with its default switch, or updates the
    // name and desktop entry of one already known. Writes and notifies only when something
    // changed; an invalid stem is ignored.
    void rememberOtherPlayer(std::string_view stem, std::string_view name, std::string_view desktopEntry);
    // Sets the switch of a player outside the catalogue (remembering it, named by its stem, if
    // it was not known yet), writes and notifies.
    void setOtherPlayer(std::string_view stem, bool enabled);
    // Why the latest assignment could not be saved (it still holds until the process ends, and
    // the next assignment tries to save everything again); nothing when it was saved.
    std::optional<std::string> saveError() const { return store_->lastWriteError(); }
    // What the user should know about how the stored settings were read (see SettingsStore).
    std::optional<std::string> loadNotice() const { return store_->loadNotice(); }

    // Observers are called on every assignment, in assignment order, after the new value has
    // been stored, in the order they were added. An observer may add or remove observers and
    // assign values while called.
    ObserverToken addObserver(Observer observer) { return observers_.add(std::move(observer)); }
    void removeObserver(ObserverToken token) { observers_.remove(token); }

    // The stored form of a player set: the raw values in ascending order.
    static std::vector<std::string> sortedRawValues(const MusicPlayerSet& players);

private:
    void load();
    bool boolValue(std::string_view key, bool defaultValue) const;
    void loadOtherPlayers();
    void writeOtherPlayers();

    std::shared_ptr<SettingsStore> store_;
    bool overlayEnabled_ = true;
    bool autoShow_ = true;
    bool avoidsCoveringWindows_ = true;
    bool audioResponsive_ = true;
    bool visualizesPlayingPlayerOnly_ = true;
    int audioDelayOffset_ = 0;
    OverlayDisplayMode displayMode_ = defaultDisplayMode;
    OverlayPosition position_ = defaultPosition;
    WaveColor color_ = defaultColor;
    MusicPlayerSet enabledPlayers_;
    std::vector<OtherPlayerSetting> otherPlayers_;

    ObserverList<Property> observers_;
};

}  // namespace sonavista
