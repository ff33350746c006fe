#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "playback/MprisPlayerIdentity.h"
#include "playback/MusicPlayer.h"

namespace sonavista {
namespace {

using P = MusicPlayer;

TEST(MusicPlayerCatalogue, ResolveFollowsPrecedenceRules) {
    using Text = std::optional<std::string_view>;
    // Each row: the sandbox or bundle id, the process name and the player they resolve to.
    const std::tuple<Text, Text, std::optional<P>> rows[] = {
        {std::nullopt, std::nullopt, std::nullopt},
        // Identifier equalities, case-insensitive.
        {"COM.SPOTIFY.CLIENT", std::nullopt, P::spotify},
        // Identifier wins over the name.
        {"com.spotify.client", "QQ音乐", P::spotify},
        // Whole-string equality only: a longer identifier falls through to the name.
        {"com.tencent.qqmusic.helper", "Spotify", P::spotify},
        {"com.spotify.client.helper", "Spotify Helper", std::nullopt},
        // "Music" counts only with an identifier: a Linux process of that name is another program.
        {"org.example.player", "Music", P::appleMusic},
        {std::nullopt, "Music", std::nullopt},
        // Name substrings, then name equalities.
        {std::nullopt, "我的QQ音乐播放器", P::qqMusic},
        {std::nullopt, "spotify qqmusic", P::qqMusic},
        {std::nullopt, "SPOTIFY", P::spotify},
        {std::nullopt, "Spotify Premium", std::nullopt},
        // Web players are never resolved from processes.
        {"spotifyWeb", "youtube", std::nullopt},
        // Look-alike capitals must not match.
        {"org.example.player", "MUSİC", std::nullopt},
        {std::nullopt, "ＳＰＯＴＩＦＹ", std::nullopt},
    };
    for (const auto& [bundle, name, expected] : rows) {
        EXPECT_EQ(resolveMusicPlayer(bundle, name), expected) << bundle.value_or("-") << " / " << name.value_or("-");
    }
}

TEST(MprisPlayerIdentity, ResolvesPlayersOnTheBus) {
    using Resolution = std::optional<MprisPlayerResolution>;
    const auto catalogue = [](P player) { return Resolution{MprisPlayerResolution{player, {}}}; };
    const auto other = [](std::string stem) { return Resolution{MprisPlayerResolution{std::nullopt, std::move(stem)}}; };
    const RunningApplication flatpakSpotify{7, "com.spotify.Client", "spotify"};
    const RunningApplication renamedMpv{8, std::nullopt, "spotify"};
    // Each row: the bus name, the process that owns it, the page address and the resolution.
    using Text = std::optional<std::string_view>;
    const std::tuple<std::string_view, std::optional<RunningApplication>, Text, Resolution> rows[] = {
        {"org.mpris.MediaPlayer2.vlc", std::nullopt, std::nullopt, other("vlc")},
        {"org.mpris.MediaPlayer2.firefox.instance_1_42", std::nullopt, std::nullopt, other("firefox")},
        {"org.mpris.MediaPlayer2.spotify", flatpakSpotify, std::nullopt, catalogue(P::spotify)},
        {"org.mpris.MediaPlayer2.mpv", renamedMpv, std::nullopt, catalogue(P::spotify)},
        {"org.mpris.MediaPlayer2.cider", std::nullopt, std::nullopt, catalogue(P::appleMusic)},
        // A browser's page address decides, by exact host, http(s) only.
        {"org.mpris.MediaPlayer2.firefox.instance_1_42", std::nullopt, "https://music.youtube.com/watch?v=1",
         catalogue(P::youtube)},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://YouTube.com./watch", catalogue(P::youtube)},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "http://user@m.youtube.com:443/x", catalogue(P::youtube)},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://open.spotify.com/track/1", catalogue(P::spotifyWeb)},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://notyoutube.com/watch", other("firefox")},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://youtube.com.evil.org/watch", other("firefox")},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://evil.org#@youtube.com", other("firefox")},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "ftp://youtube.com/a", other("firefox")},
        // Only a browser's address counts: a player streaming from the site is still itself.
        {"org.mpris.MediaPlayer2.mpv", std::nullopt, "https://www.youtube.com/watch?v=1", other("mpv")},
        {"org.freedesktop.Notifications", std::nullopt, std::nullopt, std::nullopt},
        {"org.mpris.MediaPlayer2", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& [busName, application, url, expected] : rows) {
        EXPECT_EQ(resolveMprisPlayer(busName, application, url), expected) << busName << " " << url.value_or("-");
    }
}

TEST(MprisPlayerIdentity, OtherPlayerRawValuesAndDefaults) {
    const std::pair<std::string_view, std::optional<std::string>> raws[] = {
        {"mpris:vlc", "vlc"}, {"mpris:firefox-esr", "firefox-esr"}, {"mpris:", std::nullopt},
        {"mpris:a/b", std::nullopt}, {"vlc", std::nullopt}, {"MPRIS:vlc", std::nullopt},
    };
    for (const auto& [raw, stem] : raws) {
        EXPECT_EQ(otherPlayerStemFromRawValue(raw), stem) << raw;
        if (stem) {
            EXPECT_EQ(otherPlayerRawValue(*stem), raw);
        }
    }
    for (const auto& [stem, enabled] : {std::pair{"firefox", false}, {"vlc", true}, {"firefoxplayer", true}}) {
        EXPECT_EQ(isOtherPlayerEnabledByDefault(stem), enabled) << stem;
    }
}

}  // namespace
}  // namespace sonavista
