#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "preferences/MemorySettingsStore.h"
#include "preferences/OverlayPreferences.h"

namespace sonavista {
namespace {

using namespace std::string_literals;
using P = MusicPlayer;
using Strings = std::vector<std::string>;
using Write = MemorySettingsStore::Write;
using Prop = OverlayPreferences::Property;

TEST(OverlayPreferencesTest, StoredValuesAndRepairs) {
    using M = OverlayDisplayMode;
    using Pos = OverlayPosition;
    using Read = std::tuple<bool, bool, bool, bool, M, Pos, WaveColor>;
    const Read defaults{true, true, true, true, M::compact, Pos::center, WaveColor::cyan};
    const std::pair<SettingsMap, Read> rows[] = {
        // Stored false wins over the default.
        {{{"overlayEnabled", false}, {"autoShow", false}, {"avoidsCoveringWindows", false}, {"audioResponsive", false},
          {"overlayDisplayMode", "fullscreenFog"s}, {"overlayPosition", "top"s}, {"waveColor", "candyPop"s}},
         {false, false, false, false, M::fullscreenFog, Pos::top, WaveColor::candyPop}},
        // Wrong letter case, display names and wrongly typed values fall back to the defaults.
        {{{"overlayDisplayMode", "FullscreenFog"s}, {"overlayPosition", Strings{"top"}}, {"waveColor", "Candy Pop"s}},
         defaults},
        {{{"overlayDisplayMode", true}, {"overlayPosition", "Top"s}, {"waveColor", 3.0}}, defaults},
    };
    for (const auto& [stored, expected] : rows) {
        auto store = std::make_shared<MemorySettingsStore>(stored);
        OverlayPreferences p(store);
        const Read read(p.overlayEnabled(), p.autoShow(), p.avoidsCoveringWindows(), p.audioResponsive(),
                        p.displayMode(), p.position(), p.color());
        EXPECT_EQ(read, expected);
        // Repairs are not written back while loading.
        EXPECT_EQ(store->writes(), (std::vector<Write>{{"browserPlayersMigrationV1", true}}));
    }
}

TEST(OverlayPreferencesTest, PlayerOnlyCaptureAndDelayOffsetLoadWithTheirDefaults) {
    const std::tuple<SettingsMap, bool, int> rows[] = {
        {{}, true, 0},
        {{{"visualizesPlayingPlayerOnly", false}, {"audioDelayOffsetMilliseconds", "180"s}}, false, 180},
        {{{"audioDelayOffsetMilliseconds", "900"s}}, true, 300},
        {{{"audioDelayOffsetMilliseconds", "-40"s}}, true, -40},
        {{{"audioDelayOffsetMilliseconds", "12ms"s}}, true, 0},
        {{{"audioDelayOffsetMilliseconds", 200.4}}, true, 200},
    };
    for (const auto& [stored, playerOnly, offset] : rows) {
        OverlayPreferences p(std::make_shared<MemorySettingsStore>(stored));
        EXPECT_EQ(p.visualizesPlayingPlayerOnly(), playerOnly);
        EXPECT_EQ(p.audioDelayOffset(), offset);
    }
}

TEST(OverlayPreferencesTest, PlayerListLoadingAndMigration) {
    // The one-time migration adds the web players to a stored list and sets its flag.
    const std::string list = "enabledMusicPlayers";
    const std::string flag = "browserPlayersMigrationV1";
    const Write migrated{flag, true};
    const Write webAdded{list, Strings{"qqMusicWeb", "spotify", "spotifyWeb", "youtube"}};
    const std::tuple<const char*, SettingsMap, MusicPlayerSet, std::vector<Write>> rows[] = {
        {"unknown names dropped, web players added once", {{list, Strings{"spotify", "winamp"}}},
         {P::spotify, P::spotifyWeb, P::youtube, P::qqMusicWeb}, {webAdded, migrated}},
        {"flag false behaves like no flag", {{list, Strings{"spotify", "winamp"}}, {flag, false}},
         {P::spotify, P::spotifyWeb, P::youtube, P::qqMusicWeb}, {webAdded, migrated}},
        {"already migrated: as stored", {{list, Strings{"spotify", "winamp"}}, {flag, true}}, {P::spotify}, {migrated}},
        {"already migrated, nothing known: empty set", {{list, Strings{"Spotify", "YouTube"}}, {flag, true}}, {},
         {migrated}},
        {"empty list before migration gains only the web players", {{list, Strings{}}},
         {P::spotifyWeb, P::youtube, P::qqMusicWeb},
         {{list, Strings{"qqMusicWeb", "spotifyWeb", "youtube"}}, migrated}},
        {"a list that is not an array counts as absent: every player", {{list, "spotify"s}},
         {allMusicPlayers.begin(), allMusicPlayers.end()}, {migrated}},
    };
    for (const auto& [name, stored, expected, writes] : rows) {
        auto store = std::make_shared<MemorySettingsStore>(stored);
        EXPECT_EQ(OverlayPreferences(store).enabledPlayers(), expected) << name;
        EXPECT_EQ(store->writes(), writes) << name;
    }
}

TEST(OverlayPreferencesTest, EveryAssignmentWritesThenNotifies) {
    auto store = std::make_shared<MemorySettingsStore>();
    OverlayPreferences p(store);
    // Each notification with the number of writes made when it arrived.
    std::vector<std::pair<Prop, std::size_t>> seen;
    p.addObserver([&](Prop property) { seen.emplace_back(property, store->writes().size()); });
    const std::string list = "enabledMusicPlayers";  // written sorted
    const Prop players = Prop::enabledPlayers;
    const std::tuple<std::function<void()>, Write, Prop> steps[] = {
        {[&] { p.setOverlayEnabled(false); }, {"overlayEnabled", false}, Prop::overlayEnabled},
        {[&] { p.setAutoShow(true); }, {"autoShow", true}, Prop::autoShow},  // the same value: still written
        {[&] { p.setAvoidsCoveringWindows(false); }, {"avoidsCoveringWindows", false}, Prop::avoidsCoveringWindows},
        {[&] { p.setAudioResponsive(false); }, {"audioResponsive", false}, Prop::audioResponsive},
        {[&] { p.setDisplayMode(OverlayDisplayMode::compact); }, {"overlayDisplayMode", "compact"s}, Prop::displayMode},
        {[&] { p.setPosition(OverlayPosition::bottom); }, {"overlayPosition", "bottom"s}, Prop::position},
        {[&] { p.setColor(WaveColor::mintGrape); }, {"waveColor", "mintGrape"s}, Prop::color},
        {[&] { p.setEnabledPlayers({P::youtube, P::appleMusic}); }, {list, Strings{"appleMusic", "youtube"}}, players},
        {[&] { p.setPlayer(P::spotify, true); }, {list, Strings{"appleMusic", "spotify", "youtube"}}, players},
        {[&] { p.setPlayer(P::youtube, false); }, {list, Strings{"appleMusic", "spotify"}}, players},
        {[&] { p.setPlayer(P::youtube, false); }, {list, Strings{"appleMusic", "spotify"}}, players},  // still written
        {[&] { p.setVisualizesPlayingPlayerOnly(false); }, {"visualizesPlayingPlayerOnly", false},
         Prop::visualizesPlayingPlayerOnly},
        {[&] { p.setAudioDelayOffset(-250); }, {"audioDelayOffsetMilliseconds", "-100"s}, Prop::audioDelayOffset},
        {[&] { p.setAudioDelayOffset(120); }, {"audioDelayOffsetMilliseconds", "120"s}, Prop::audioDelayOffset},
    };
    for (const auto& [assign, write, property] : steps) {
        store->clearWrites();
        seen.clear();
        assign();
        EXPECT_EQ(store->writes(), std::vector<Write>{write});
        EXPECT_EQ(seen, (std::vector<std::pair<Prop, std::size_t>>{{property, 1}}));
    }
}

TEST(OverlayPreferencesTest, OtherPlayersAreRememberedWithTheirSwitches) {
    // Written before: malformed entries and a repeated stem are dropped, a name keeps its '|'.
    auto store = std::make_shared<MemorySettingsStore>(SettingsMap{
        {"otherMusicPlayers",
         Strings{"vlc|0|vlc|VLC | media", "bad stem|1||X", "mpv|2||mpv", "elisa|1|", "vlc|1||again"}},
        {"browserPlayersMigrationV1", true}});
    OverlayPreferences preferences(store);
    EXPECT_EQ(preferences.otherPlayers(), (std::vector<OtherPlayerSetting>{{"vlc", "VLC | media", "vlc", false}}));
    // Every change is written and announced; the first two calls change nothing.
    int notifications = 0;
    preferences.addObserver([&](Prop property) { notifications += property == Prop::otherPlayers; });
    preferences.rememberOtherPlayer("vlc", "VLC | media", "vlc");  // known and unchanged
    preferences.rememberOtherPlayer("a b", "Bad", "");             // not a stem
    preferences.rememberOtherPlayer("firefox", "Firefox", "firefox-esr");
    preferences.rememberOtherPlayer("rhythmbox", "Rhythmbox", "org.gnome.Rhythmbox3|x");
    preferences.setOtherPlayer("vlc", true);
    EXPECT_EQ(store->writes().back(),
              (Write{"otherMusicPlayers",
                     Strings{"vlc|1|vlc|VLC | media", "firefox|0|firefox-esr|Firefox", "rhythmbox|1||Rhythmbox"}}));
    EXPECT_EQ(notifications, 3);
    // Unseen players follow the defaults: every player but a browser.
    EXPECT_TRUE(preferences.isOtherPlayerEnabled("audacious"));
    EXPECT_FALSE(preferences.isOtherPlayerEnabled("chromium"));
}

TEST(SettingsValueTest, BooleanReadings) {
    const SettingsValue truthy[] = {-0.5, "yes"s, "T"s, "  +0012"s};
    const SettingsValue falsy[] = {false, "false"s, "000"s, "-"s, Strings{"true"}, OpaqueSettingsValue{"{}"}};
    for (const auto& value : truthy) EXPECT_TRUE(settingsBoolValue(value)) << value.index();
    for (const auto& value : falsy) EXPECT_FALSE(settingsBoolValue(value)) << value.index();
}

}  // namespace
}  // namespace sonavista
