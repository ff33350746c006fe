#include <gtest/gtest.h>

#include <memory>
#include <string>
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

const MusicPlayerSet allPlayers(allMusicPlayers.begin(), allMusicPlayers.end());

std::shared_ptr<MemorySettingsStore> storeWith(SettingsMap values) {
    return std::make_shared<MemorySettingsStore>(std::move(values));
}

TEST(OverlayPreferencesTest, StoredValuesAndRepairs) {
    struct Row {
        const char* name;
        SettingsMap stored;
        bool overlayEnabled;
        bool autoShow;
        OverlayDisplayMode mode;
        OverlayPosition position;
        WaveColor color;
    };
    using M = OverlayDisplayMode;
    using Pos = OverlayPosition;
    using W = WaveColor;
    const Row rows[] = {
        {"stored false wins over the default", {{"overlayEnabled", false}, {"autoShow", false}},
         false, false, M::compact, Pos::center, W::cyan},
        {"exact raw values",
         {{"overlayDisplayMode", "fullscreenFog"s}, {"overlayPosition", "top"s}, {"waveColor", "candyPop"s}},
         true, true, M::fullscreenFog, Pos::top, W::candyPop},
        {"wrong letter case and display names fall back",
         {{"overlayDisplayMode", "FullscreenFog"s}, {"overlayPosition", "Top"s}, {"waveColor", "Candy Pop"s}},
         true, true, M::compact, Pos::center, W::cyan},
        {"wrongly typed values fall back",
         {{"overlayDisplayMode", true}, {"overlayPosition", Strings{"top"}}, {"waveColor", 3.0}},
         true, true, M::compact, Pos::center, W::cyan},
        {"present but unreadable booleans are false", {{"overlayEnabled", Strings{}}, {"autoShow", "YES"s}},
         false, true, M::compact, Pos::center, W::cyan},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto store = storeWith(row.stored);
        OverlayPreferences preferences(store);
        EXPECT_EQ(preferences.overlayEnabled(), row.overlayEnabled);
        EXPECT_EQ(preferences.autoShow(), row.autoShow);
        EXPECT_EQ(preferences.displayMode(), row.mode);
        EXPECT_EQ(preferences.position(), row.position);
        EXPECT_EQ(preferences.color(), row.color);
        // Repairs are not written back while loading.
        EXPECT_EQ(store->writes(), (std::vector<Write>{{"browserPlayersMigrationV1", true}}));
    }
}

TEST(OverlayPreferencesTest, PlayerListLoadingAndMigration) {
    struct Row {
        const char* name;
        SettingsMap stored;
        MusicPlayerSet expected;
        std::vector<Write> writes;
    };
    // The one-time migration adds the web players to a stored list and sets its flag.
    const std::string list = "enabledMusicPlayers";
    const std::string flag = "browserPlayersMigrationV1";
    const Write migrated{flag, true};
    const Write webAdded{list, Strings{"qqMusicWeb", "spotify", "spotifyWeb", "youtube"}};
    const Row rows[] = {
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
        {"a list that is not an array counts as absent: every player", {{list, "spotify"s}}, allPlayers, {migrated}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto store = storeWith(row.stored);
        OverlayPreferences preferences(store);
        EXPECT_EQ(preferences.enabledPlayers(), row.expected);
        EXPECT_EQ(store->writes(), row.writes);
        EXPECT_TRUE(store->boolValue(flag));
    }
}

TEST(OverlayPreferencesTest, EveryAssignmentWritesThenNotifiesInOrder) {
    auto store = storeWith({});
    auto preferences = OverlayPreferences::create(store);
    store->clearWrites();

    // Each notification with the number of writes made when it arrived.
    std::vector<std::pair<Prop, std::size_t>> seen;
    preferences->addObserver([&](Prop property) { seen.emplace_back(property, store->writes().size()); });

    preferences->setOverlayEnabled(false);
    preferences->setAutoShow(true);  // same value: still written and announced
    preferences->setAvoidsCoveringWindows(false);
    preferences->setAudioResponsive(false);
    preferences->setDisplayMode(OverlayDisplayMode::fullscreenFog);
    preferences->setPosition(OverlayPosition::bottom);
    preferences->setColor(WaveColor::mintGrape);
    preferences->setEnabledPlayers(allPlayers);

    const std::vector<Write> expected = {
        {"overlayEnabled", false},
        {"autoShow", true},
        {"avoidsCoveringWindows", false},
        {"audioResponsive", false},
        {"overlayDisplayMode", "fullscreenFog"s},
        {"overlayPosition", "bottom"s},
        {"waveColor", "mintGrape"s},
        {"enabledMusicPlayers",
         Strings{"appleMusic", "netEaseMusic", "qqMusic", "qqMusicWeb", "spotify", "spotifyWeb", "youtube"}},
    };
    EXPECT_EQ(store->writes(), expected);
    EXPECT_EQ(seen, (std::vector<std::pair<Prop, std::size_t>>{
                        {Prop::overlayEnabled, 1}, {Prop::autoShow, 2}, {Prop::avoidsCoveringWindows, 3},
                        {Prop::audioResponsive, 4}, {Prop::displayMode, 5}, {Prop::position, 6}, {Prop::color, 7},
                        {Prop::enabledPlayers, 8}}));

    // The two switches without a row above read back what was written.
    OverlayPreferences reloaded(store);
    EXPECT_FALSE(reloaded.avoidsCoveringWindows());
    EXPECT_FALSE(reloaded.audioResponsive());
}

TEST(OverlayPreferencesTest, SetPlayerInsertsOrRemovesAndAlwaysWrites) {
    auto store = storeWith({});
    OverlayPreferences preferences(store);
    int notifications = 0;
    preferences.addObserver([&](Prop) { ++notifications; });
    preferences.setEnabledPlayers({});
    store->clearWrites();
    preferences.setPlayer(P::spotify, true);
    preferences.setPlayer(P::appleMusic, true);
    preferences.setPlayer(P::spotify, true);  // no change: still written and announced
    preferences.setPlayer(P::youtube, false);
    const Write both{"enabledMusicPlayers", Strings{"appleMusic", "spotify"}};
    EXPECT_EQ(store->writes(), (std::vector<Write>{{"enabledMusicPlayers", Strings{"spotify"}}, both, both, both}));
    EXPECT_EQ(preferences.enabledPlayers(), (MusicPlayerSet{P::appleMusic, P::spotify}));
    EXPECT_EQ(notifications, 5);
}

TEST(OverlayPreferencesTest, OtherPlayersAreRememberedWithTheirSwitches) {
    // Written before: malformed entries and a repeated stem are dropped, a name keeps its '|'.
    auto store = storeWith({{"otherMusicPlayers", Strings{"vlc|0|vlc|VLC | media", "bad stem|1||X", "mpv|2||mpv",
                                                          "elisa|1|", "vlc|1||again"}},
                            {"browserPlayersMigrationV1", true}});
    OverlayPreferences preferences(store);
    EXPECT_EQ(preferences.otherPlayers(), (std::vector<OtherPlayerSetting>{{"vlc", "VLC | media", "vlc", false}}));
    store->clearWrites();
    int notifications = 0;
    preferences.addObserver([&](Prop property) { notifications += property == Prop::otherPlayers; });

    preferences.rememberOtherPlayer("vlc", "VLC | media", "vlc");  // known and unchanged: nothing
    preferences.rememberOtherPlayer("a b", "Bad", "");             // not a stem: ignored
    EXPECT_TRUE(store->writes().empty());
    preferences.rememberOtherPlayer("firefox", "Firefox", "firefox-esr");
    preferences.rememberOtherPlayer("rhythmbox", "Rhythmbox", "org.gnome.Rhythmbox3|x");
    preferences.setOtherPlayer("vlc", true);
    EXPECT_EQ(store->writes().back(),
              (Write{"otherMusicPlayers",
                     Strings{"vlc|1|vlc|VLC | media", "firefox|0|firefox-esr|Firefox", "rhythmbox|1||Rhythmbox"}}));
    EXPECT_EQ(notifications, 3);
    // Unseen players follow the defaults: every player but a browser.
    EXPECT_TRUE(preferences.isOtherPlayerEnabled("vlc"));
    EXPECT_FALSE(preferences.isOtherPlayerEnabled("firefox"));
    EXPECT_TRUE(preferences.isOtherPlayerEnabled("audacious"));
    EXPECT_FALSE(preferences.isOtherPlayerEnabled("chromium"));

    // The next launch reads back what was written.
    OverlayPreferences reloaded(store);
    EXPECT_EQ(reloaded.otherPlayers(), preferences.otherPlayers());
}

TEST(SettingsValueTest, BooleanAndTypedReadings) {
    struct Row {
        SettingsValue value;
        bool boolean;
    };
    const Row rows[] = {
        {false, false},          {-0.5, true},
        {"yes"s, true}, {"T"s, true},  {"  +0012"s, true},
        {"false"s, false}, {"000"s, false}, {"-"s, false},
        {Strings{"true"}, false}, {OpaqueSettingsValue{"{}"}, false},
    };
    for (const Row& row : rows) EXPECT_EQ(settingsBoolValue(row.value), row.boolean) << row.value.index();
    EXPECT_EQ(settingsStringValue("x"s), "x");
    EXPECT_EQ(settingsStringValue(true), std::nullopt);
    EXPECT_EQ(settingsStringValue(Strings{"x"}), std::nullopt);
    EXPECT_EQ(settingsStringArrayValue(Strings{}), Strings{});
    EXPECT_EQ(settingsStringArrayValue("x"s), std::nullopt);
}

}  // namespace
}  // namespace sonavista
