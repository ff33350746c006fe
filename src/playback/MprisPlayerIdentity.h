#pragma once

#include "playback/MusicPlayer.h"
#include "playback/RunningApplication.h"

#include <optional>
#include <string>
#include <string_view>

namespace sonavista {

// What a player on the session bus is to the monitor: a catalogue player, or a player of its
// own outside the catalogue, named by the stem of its MPRIS bus name. Pure functions.

// The stored and printed form of a player outside the catalogue is "mpris:<stem>".
inline constexpr std::string_view otherPlayerPrefix = "mpris:";

// The bus name after "org.mpris.MediaPlayer2." up to its first dot ("vlc",
// "firefox.instance_1_42" → "firefox"); empty for any other name.
std::string mprisStem(std::string_view busName);

// A stem may hold the characters of a bus name element (letters, digits, '_', '-') only.
bool isValidMprisStem(std::string_view stem);
std::string otherPlayerRawValue(std::string_view stem);
// The stem of "mpris:<stem>"; nothing for any other text or an invalid stem.
std::optional<std::string> otherPlayerStemFromRawValue(std::string_view raw);

// Web browsers: a tab playing on a site that is not one of the web players does not raise the
// overlay unless the user switches the browser on.
bool isBrowserStem(std::string_view stem);
// Whether a player outside the catalogue is on before the user has chosen.
bool isOtherPlayerEnabledByDefault(std::string_view stem);

// The web player whose site the page address belongs to, by exact host ("youtube.com",
// "www.youtube.com", "m.youtube.com", "music.youtube.com", "open.spotify.com", "y.qq.com");
// only http and https addresses count.
std::optional<MusicPlayer> webPlayerForUrl(std::string_view url);

struct MprisPlayerResolution {
    std::optional<MusicPlayer> player;  // a catalogue player ...
    std::string otherPlayerStem;        // ... or, when absent, the player of its own

    friend bool operator==(const MprisPlayerResolution&, const MprisPlayerResolution&) = default;
};

// Resolves a player on the bus: a browser whose page address names a web player's site is that
// web player; otherwise the owning process (catalogue rules) or the stem of a catalogue client
// ("spotify", "cider") decides; anything else is a player of its own. Nothing for a bus name
// that is not an MPRIS player's.
std::optional<MprisPlayerResolution> resolveMprisPlayer(std::string_view busName,
                                                        const std::optional<RunningApplication>& application,
                                                        std::optional<std::string_view> url);

}  // namespace sonavista
