#include "playback/MprisPlayerIdentity.h"

#include "base/AsciiLowercase.h"

#include <algorithm>
#include <array>

namespace sonavista {

namespace {

constexpr std::string_view mprisBusPrefix = "org.mpris.MediaPlayer2.";

constexpr std::array<std::string_view, 16> browserStems = {
    "firefox",   "firefox-esr", "librewolf", "waterfox", "chromium", "chrome",  "google-chrome", "brave",
    "vivaldi",   "opera",       "microsoft-edge", "msedge", "epiphany", "falkon", "midori", "qutebrowser",
};

struct SiteRule {
    std::string_view host;
    MusicPlayer player;
};

constexpr SiteRule siteRules[] = {
    {"youtube.com", MusicPlayer::youtube},      {"www.youtube.com", MusicPlayer::youtube},
    {"m.youtube.com", MusicPlayer::youtube},    {"music.youtube.com", MusicPlayer::youtube},
    {"open.spotify.com", MusicPlayer::spotifyWeb}, {"y.qq.com", MusicPlayer::qqMusicWeb},
};

// The host of an http or https address, lower-cased, without user information, port or a
// trailing dot; nothing for other schemes.
std::optional<std::string> hostOf(std::string_view url) {
    auto separator = url.find("://");
    if (separator == std::string_view::npos) {
        return std::nullopt;
    }
    auto scheme = asciiLowercased(url.substr(0, separator));
    if (scheme != "http" && scheme != "https") {
        return std::nullopt;
    }
    auto authority = url.substr(separator + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (auto at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    authority = authority.substr(0, authority.find(':'));
    if (authority.ends_with('.')) {
        authority.remove_suffix(1);
    }
    return asciiLowercased(authority);
}

}  // namespace

std::string mprisStem(std::string_view busName) {
    if (!busName.starts_with(mprisBusPrefix)) {
        return {};
    }
    busName.remove_prefix(mprisBusPrefix.size());
    return std::string(busName.substr(0, busName.find('.')));
}

bool isValidMprisStem(std::string_view stem) {
    return !stem.empty() && std::all_of(stem.begin(), stem.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

std::string otherPlayerRawValue(std::string_view stem) {
    return std::string(otherPlayerPrefix) + std::string(stem);
}

std::optional<std::string> otherPlayerStemFromRawValue(std::string_view raw) {
    if (!raw.starts_with(otherPlayerPrefix)) {
        return std::nullopt;
    }
    raw.remove_prefix(otherPlayerPrefix.size());
    if (!isValidMprisStem(raw)) {
        return std::nullopt;
    }
    return std::string(raw);
}

bool isBrowserStem(std::string_view stem) {
    const auto lower = asciiLowercased(stem);
    return std::find(browserStems.begin(), browserStems.end(), lower) != browserStems.end();
}

bool isOtherPlayerEnabledByDefault(std::string_view stem) { return !isBrowserStem(stem); }

std::optional<MusicPlayer> webPlayerForUrl(std::string_view url) {
    const auto host = hostOf(url);
    if (!host) {
        return std::nullopt;
    }
    for (const SiteRule& rule : siteRules) {
        if (*host == rule.host) {
            return rule.player;
        }
    }
    return std::nullopt;
}

std::optional<MprisPlayerResolution> resolveMprisPlayer(std::string_view busName,
                                                        const std::optional<RunningApplication>& application,
                                                        std::optional<std::string_view> url) {
    const std::string stem = mprisStem(busName);
    if (stem.empty()) {
        return std::nullopt;
    }
    if (isBrowserStem(stem) && url) {
        if (auto site = webPlayerForUrl(*url)) {
            return MprisPlayerResolution{site, {}};
        }
    }
    if (application) {
        if (auto player = resolveMusicPlayer(application->bundleIdentifier, application->localizedName)) {
            return MprisPlayerResolution{player, {}};
        }
    }
    // The desktop clients' own bus names, for when the owning process cannot be seen (another
    // PID namespace, a renamed executable).
    const auto lower = asciiLowercased(stem);
    if (lower == "spotify") {
        return MprisPlayerResolution{MusicPlayer::spotify, {}};
    }
    if (lower == "cider") {
        return MprisPlayerResolution{MusicPlayer::appleMusic, {}};
    }
    return MprisPlayerResolution{std::nullopt, stem};
}

}  // namespace sonavista
