#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "playback/MprisPlayerIdentity.h"
#include "playback/MusicPlayer.h"
#include "playback/UnicodeLowercase.h"

namespace sonavista {
namespace {

using P = MusicPlayer;

TEST(MusicPlayerCatalogue, RawValuesRoundTripAndAreCaseSensitive) {
    const std::string expected[] = {"appleMusic", "qqMusic",  "netEaseMusic", "spotify",
                                    "spotifyWeb", "youtube", "qqMusicWeb"};
    ASSERT_EQ(allMusicPlayers.size(), std::size(expected));
    for (std::size_t i = 0; i < allMusicPlayers.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(allMusicPlayers[i]), i);
        EXPECT_EQ(rawValue(allMusicPlayers[i]), expected[i]);
        EXPECT_EQ(musicPlayerFromRawValue(expected[i]), allMusicPlayers[i]);
    }
    for (const char* bad : {"AppleMusic", "Spotify", "YouTube", "qqmusic", "", "spotify ", "Apple Music"}) {
        EXPECT_EQ(musicPlayerFromRawValue(bad), std::nullopt) << bad;
    }
}

TEST(MusicPlayerCatalogue, ResolveFollowsPrecedenceRules) {
    using Text = std::optional<std::string_view>;
    struct Row {
        Text bundle;
        Text name;
        std::optional<P> expected;
    };
    const Row rows[] = {
        {std::nullopt, std::nullopt, std::nullopt},
        {"", "", std::nullopt},
        // Identifier equalities, case-insensitive through lower-casing.
        {"com.apple.music", std::nullopt, P::appleMusic},
        {"com.apple.Music", std::nullopt, P::appleMusic},
        {"COM.SPOTIFY.CLIENT", std::nullopt, P::spotify},
        {"com.tencent.qqmusicmac", std::nullopt, P::qqMusic},
        {"com.tencent.QQMusic", std::nullopt, P::qqMusic},
        {"com.netease.163music", std::nullopt, P::netEaseMusic},
        {"com.netease.music.163", std::nullopt, P::netEaseMusic},
        {"com.netease.163music.osx", std::nullopt, P::netEaseMusic},
        // Identifier wins over the name.
        {"com.spotify.client", "QQ音乐", P::spotify},
        {"com.apple.music", "Spotify", P::appleMusic},
        // Whole-string equality only: a longer identifier falls through to the name.
        {"com.tencent.qqmusic.helper", std::nullopt, std::nullopt},
        {"com.tencent.qqmusic.helper", "Spotify", P::spotify},
        {"com.spotify.client.helper", "Spotify Helper", std::nullopt},
        {"org.example.player", "Music", P::appleMusic},
        // Name substrings.
        {std::nullopt, "QQ音乐", P::qqMusic},
        {std::nullopt, "我的QQ音乐播放器", P::qqMusic},
        {std::nullopt, "QQMusic", P::qqMusic},
        {std::nullopt, "qqmUSIC helper", P::qqMusic},
        {std::nullopt, "网易云音乐", P::netEaseMusic},
        {std::nullopt, "NetEase Cloud Music", P::netEaseMusic},
        {std::nullopt, "CloudMusic", P::netEaseMusic},
        // Substring tests come before the equalities.
        {std::nullopt, "spotify qqmusic", P::qqMusic},
        // Name equalities.
        {std::nullopt, "Spotify", P::spotify},
        {std::nullopt, "SPOTIFY", P::spotify},
        {std::nullopt, "Spotify Premium", std::nullopt},
        {std::nullopt, "spotify ", std::nullopt},
        // A Linux process merely called "music" is some other program.
        {std::nullopt, "Music", std::nullopt},
        {std::nullopt, "音乐", std::nullopt},
        // Linux clients: Spotify native, Flatpak and Snap; Cider; the NetEase and QQ clients.
        {std::nullopt, "spotify", P::spotify},
        {"com.spotify.Client", "spotify", P::spotify},
        {"spotify", "spotify", P::spotify},
        {std::nullopt, "cider", P::appleMusic},
        {"sh.cider.Cider", "Cider", P::appleMusic},
        {std::nullopt, "netease-cloud-music", P::netEaseMusic},
        {std::nullopt, "qqmusic", P::qqMusic},
        {std::nullopt, "Apple Music", std::nullopt},
        {std::nullopt, "音乐盒", std::nullopt},
        // Web players are never resolved from processes.
        {"spotifyWeb", "youtube", std::nullopt},
        // Non-ASCII capitals lower-case too; look-alikes must not match.
        {std::nullopt, "MUSİC", std::nullopt},
        {std::nullopt, "ＭＵＳＩＣ", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.bundle.value_or("<none>")) + " / " + std::string(row.name.value_or("<none>")));
        EXPECT_EQ(resolveMusicPlayer(row.bundle, row.name), row.expected);
    }
}

TEST(MusicPlayerCatalogue, BrowserPlayerIsExactAndWebOnly) {
    const std::pair<std::string_view, std::optional<P>> rows[] = {
        {"spotifyWeb", P::spotifyWeb}, {"youtube", P::youtube},  {"qqMusicWeb", P::qqMusicWeb},
        {"YouTube", std::nullopt},     {"spotify", std::nullopt}, {"appleMusic", std::nullopt},
        {"qqmusicweb", std::nullopt},  {"", std::nullopt},       {"youtube ", std::nullopt},
    };
    for (const auto& [source, expected] : rows) {
        EXPECT_EQ(browserPlayer(source), expected) << source;
    }
}

TEST(MprisPlayerIdentity, ResolvesPlayersOnTheBus) {
    using Resolution = std::optional<MprisPlayerResolution>;
    const auto catalogue = [](P player) { return Resolution{MprisPlayerResolution{player, {}}}; };
    const auto other = [](std::string stem) { return Resolution{MprisPlayerResolution{std::nullopt, std::move(stem)}}; };
    const RunningApplication flatpakSpotify{7, "com.spotify.Client", "spotify"};
    const RunningApplication renamedMpv{8, std::nullopt, "spotify"};
    struct Row {
        std::string_view busName;
        std::optional<RunningApplication> application;
        std::optional<std::string_view> url;
        Resolution expected;
    };
    const Row rows[] = {
        {"org.mpris.MediaPlayer2.vlc", std::nullopt, std::nullopt, other("vlc")},
        {"org.mpris.MediaPlayer2.rhythmbox", std::nullopt, "file:///a.ogg", other("rhythmbox")},
        {"org.mpris.MediaPlayer2.firefox.instance_1_42", std::nullopt, std::nullopt, other("firefox")},
        {"org.mpris.MediaPlayer2.chromium.instance4242", std::nullopt, std::nullopt, other("chromium")},
        {"org.mpris.MediaPlayer2.spotify", flatpakSpotify, std::nullopt, catalogue(P::spotify)},
        {"org.mpris.MediaPlayer2.spotify", std::nullopt, std::nullopt, catalogue(P::spotify)},
        {"org.mpris.MediaPlayer2.mpv", renamedMpv, std::nullopt, catalogue(P::spotify)},
        {"org.mpris.MediaPlayer2.cider", std::nullopt, std::nullopt, catalogue(P::appleMusic)},
        // A browser's page address decides, by exact host, http(s) only.
        {"org.mpris.MediaPlayer2.firefox.instance_1_42", std::nullopt, "https://music.youtube.com/watch?v=1",
         catalogue(P::youtube)},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://YouTube.com./watch", catalogue(P::youtube)},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "http://user@m.youtube.com:443/x", catalogue(P::youtube)},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://www.youtube.com", catalogue(P::youtube)},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://open.spotify.com/track/1", catalogue(P::spotifyWeb)},
        {"org.mpris.MediaPlayer2.epiphany", std::nullopt, "https://y.qq.com/n/ryqq", catalogue(P::qqMusicWeb)},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://notyoutube.com/watch", other("firefox")},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://youtube.com.evil.org/watch", other("firefox")},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://evil.org/?u=https://youtube.com", other("firefox")},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "https://evil.org#@youtube.com", other("firefox")},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "ftp://youtube.com/a", other("firefox")},
        {"org.mpris.MediaPlayer2.firefox", std::nullopt, "spotify.com", other("firefox")},
        // Only a browser's address counts: a player streaming from the site is still itself.
        {"org.mpris.MediaPlayer2.mpv", std::nullopt, "https://www.youtube.com/watch?v=1", other("mpv")},
        {"org.freedesktop.Notifications", std::nullopt, std::nullopt, std::nullopt},
        {"org.mpris.MediaPlayer2", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.busName) + " " + std::string(row.url.value_or("-")));
        EXPECT_EQ(resolveMprisPlayer(row.busName, row.application, row.url), row.expected);
    }
}

TEST(MprisPlayerIdentity, OtherPlayerRawValuesAndDefaults) {
    const std::pair<std::string_view, std::optional<std::string>> raws[] = {
        {"mpris:vlc", "vlc"}, {"mpris:firefox-esr", "firefox-esr"}, {"mpris:", std::nullopt},
        {"mpris:a b", std::nullopt}, {"mpris:a/b", std::nullopt}, {"mpris:a.b", std::nullopt},
        {"vlc", std::nullopt}, {"MPRIS:vlc", std::nullopt},
    };
    for (const auto& [raw, stem] : raws) {
        EXPECT_EQ(otherPlayerStemFromRawValue(raw), stem) << raw;
        if (stem) {
            EXPECT_EQ(otherPlayerRawValue(*stem), raw);
        }
    }
    for (std::string_view browser : {"firefox", "chromium", "chrome", "brave", "vivaldi", "opera", "epiphany"}) {
        EXPECT_FALSE(isOtherPlayerEnabledByDefault(browser)) << browser;
    }
    for (std::string_view player : {"vlc", "rhythmbox", "mpv", "elisa", "firefoxplayer"}) {
        EXPECT_TRUE(isOtherPlayerEnabledByDefault(player)) << player;
    }
}

TEST(UnicodeLowercase, MapsEveryScriptAndLeavesOthersAlone) {
    const std::pair<std::string_view, std::string_view> rows[] = {
        {"Spotify", "spotify"},
        {"ÀÉÎÕÜ Ÿ", "àéîõü ÿ"},
        {"ΣΩΔ", "σωδ"},
        {"ПРИВЕТ", "привет"},
        {"ĀĒĪ", "āēī"},
        {"ＡＢＣ", "ａｂｃ"},            // full-width letters
        {"ԱԲԳ", "աբգ"},                // Armenian
        {"𐐀𐐁", "𐐨𐐩"},                // Deseret, four-byte sequences
        {"\u212A", "k"},              // Kelvin sign
        {"İ", "i\u0307"},             // dotted capital I expands to two code points
        {"网易云音乐", "网易云音乐"},  // no case
        {"ß", "ß"},
        {"", ""},
        // Invalid UTF-8 bytes pass through; ASCII around them is still lowered.
        {"A\xFF" "B", "a\xFF" "b"},
        {"\xC3", "\xC3"},
        {"\xC0\xAF" "X", "\xC0\xAF" "x"},  // overlong encoding is not decoded
    };
    for (const auto& [input, expected] : rows) {
        EXPECT_EQ(unicodeLowercased(input), expected) << input;
    }
}

TEST(UnicodeLowercase, CodePointMappingMatchesKnownPairs) {
    const std::pair<char32_t, char32_t> rows[] = {
        {U'A', U'a'},        {U'Z', U'z'},       {U'a', U'a'},       {0x00D7, 0x00D7} /* × */,
        {0x0100, 0x0101},    {0x0101, 0x0101},   {0x0178, 0x00FF},   {0x0391, 0x03B1},
        {0x1E9E, 0x00DF},    {0x2C00, 0x2C30},   {0x24B6, 0x24D0},   {0x10400, 0x10428},
        {0x1E900, 0x1E922},  {0x1E922, 0x1E922}, {0x10FFFF, 0x10FFFF},
    };
    for (const auto& [upper, lower] : rows) {
        EXPECT_EQ(static_cast<std::uint32_t>(unicodeLowercaseCodePoint(upper)), static_cast<std::uint32_t>(lower))
            << std::hex << static_cast<std::uint32_t>(upper);
    }
}

}  // namespace
}  // namespace sonavista
