#include "playback/MusicPlayer.h"

#include <string>

#include "base/AsciiLowercase.h"

namespace sonavista {
namespace {

struct PlayerInfo {
    std::string_view rawValue;
    std::string_view displayName;
    std::string_view symbolName;
};

// Indexed by the enumeration's value.
constexpr std::array<PlayerInfo, allMusicPlayers.size()> playerInfo = {{
    {"appleMusic", "Apple Music", "music.note"},
    {"qqMusic", "QQ Music", "music.note.list"},
    {"netEaseMusic", "NetEase Cloud Music", "waveform.circle"},
    {"spotify", "Spotify", "dot.radiowaves.left.and.right"},
    {"spotifyWeb", "Spotify Web", "globe"},
    {"youtube", "YouTube", "play.rectangle"},
    {"qqMusicWeb", "QQ Music Web", "globe.asia.australia"},
}};

const PlayerInfo& info(MusicPlayer player) {
    return playerInfo.at(static_cast<std::size_t>(player));
}

struct BundleRule {
    std::string_view bundleIdentifier;
    MusicPlayer player;
};

// Whole-string comparisons of the lower-cased identifier, first match wins.
constexpr BundleRule bundleRules[] = {
    {"com.apple.music", MusicPlayer::appleMusic},
    {"com.spotify.client", MusicPlayer::spotify},
    {"com.tencent.qqmusicmac", MusicPlayer::qqMusic},
    {"com.tencent.qqmusic", MusicPlayer::qqMusic},
    {"com.netease.163music", MusicPlayer::netEaseMusic},
    {"com.netease.music.163", MusicPlayer::netEaseMusic},
    {"com.netease.163music.osx", MusicPlayer::netEaseMusic},
    // Linux application ids (Flatpak, Snap) of the desktop clients.
    {"sh.cider.cider", MusicPlayer::appleMusic},
};

struct NameRule {
    std::string_view text;
    MusicPlayer player;
};

// Substring tests of the lower-cased name, tried before the equalities below.
constexpr NameRule nameContainsRules[] = {
    {"qq音乐", MusicPlayer::qqMusic},
    {"qqmusic", MusicPlayer::qqMusic},
    {"网易云音乐", MusicPlayer::netEaseMusic},
    {"netease", MusicPlayer::netEaseMusic},
    {"cloudmusic", MusicPlayer::netEaseMusic},
};

constexpr NameRule nameEqualsRules[] = {
    {"spotify", MusicPlayer::spotify},
    {"cider", MusicPlayer::appleMusic},
};

// Names that only identify the player together with an application identifier: a desktop
// application simply called "Music" has one, while a Linux process of that name (which has
// none unless it is a Flatpak or Snap) is some other program.
constexpr NameRule bundledNameEqualsRules[] = {
    {"音乐", MusicPlayer::appleMusic},
    {"music", MusicPlayer::appleMusic},
};

}  // namespace

std::string_view rawValue(MusicPlayer player) {
    return info(player).rawValue;
}

std::optional<MusicPlayer> musicPlayerFromRawValue(std::string_view raw) {
    for (MusicPlayer player : allMusicPlayers) {
        if (rawValue(player) == raw) {
            return player;
        }
    }
    return std::nullopt;
}

std::string_view displayName(MusicPlayer player) {
    return info(player).displayName;
}

std::string_view displayName(std::optional<MusicPlayer> player) {
    return player ? displayName(*player) : noMusicPlayerDisplayName;
}

std::string_view symbolName(MusicPlayer player) {
    return info(player).symbolName;
}

bool isWebPlayer(MusicPlayer player) {
    return player == MusicPlayer::spotifyWeb || player == MusicPlayer::youtube ||
           player == MusicPlayer::qqMusicWeb;
}

bool isScriptable(MusicPlayer player) {
    return player == MusicPlayer::appleMusic || player == MusicPlayer::spotify;
}

std::optional<MusicPlayer> resolveMusicPlayer(std::optional<std::string_view> bundleIdentifier,
                                              std::optional<std::string_view> localizedName) {
    const std::string bundle = bundleIdentifier ? asciiLowercased(*bundleIdentifier) : std::string();
    const std::string name = localizedName ? asciiLowercased(*localizedName) : std::string();

    for (const BundleRule& rule : bundleRules) {
        if (bundle == rule.bundleIdentifier) {
            return rule.player;
        }
    }
    for (const NameRule& rule : nameContainsRules) {
        if (name.find(rule.text) != std::string::npos) {
            return rule.player;
        }
    }
    for (const NameRule& rule : nameEqualsRules) {
        if (name == rule.text) {
            return rule.player;
        }
    }
    if (!bundle.empty()) {
        for (const NameRule& rule : bundledNameEqualsRules) {
            if (name == rule.text) {
                return rule.player;
            }
        }
    }
    return std::nullopt;
}

std::optional<MusicPlayer> browserPlayer(std::string_view source) {
    for (MusicPlayer player : {MusicPlayer::spotifyWeb, MusicPlayer::youtube, MusicPlayer::qqMusicWeb}) {
        if (source == rawValue(player)) {
            return player;
        }
    }
    return std::nullopt;
}

}  // namespace sonavista
