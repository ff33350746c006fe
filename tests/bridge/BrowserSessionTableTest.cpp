#include "base/FakeClock.h"
#include "bridge/BrowserSessionTable.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace sonavista;

namespace {

using P = MusicPlayer;
const MusicPlayerSet allWeb = {P::spotifyWeb, P::youtube, P::qqMusicWeb};

MusicPlaybackSnapshot playing(P player, double volume) { return {player, MusicPlaybackState::playing, volume}; }
MusicPlaybackSnapshot paused(P player, double volume) { return {player, MusicPlaybackState::paused, volume}; }

struct Report {
    double at;  // clock time of the report
    std::string pageId;
    MusicPlayer player;
    bool isPlaying;
    double volume;
};

}  // namespace

TEST(BrowserSessionTable, ChoosesTheBestLivePage) {
    struct Case {
        const char* name;
        std::vector<Report> reports;
        double snapshotAt;
        MusicPlayerSet enabled;
        std::optional<MusicPlaybackSnapshot> expected;
    };
    const std::vector<Case> cases = {
        {"empty table", {}, 10.0, allWeb, std::nullopt},
        {"reported exactly 3.5 s ago counts", {{10.0, "a", P::youtube, true, 0.5}}, 13.5, allWeb,
         playing(P::youtube, 0.5)},
        {"reported 3.6 s ago is gone", {{10.0, "a", P::youtube, true, 0.5}}, 13.6, allWeb, std::nullopt},
        {"two playing: the latest wins", {{10.0, "a", P::youtube, true, 0.5}, {11.0, "b", P::spotifyWeb, true, 0.7}},
         12.0, allWeb, playing(P::spotifyWeb, 0.7)},
        {"latest wins in any order", {{11.0, "a", P::youtube, true, 0.5}, {10.0, "b", P::spotifyWeb, true, 0.7}}, 12.0,
         allWeb, playing(P::youtube, 0.5)},
        {"playing beats later paused", {{10.0, "a", P::youtube, true, 0.5}, {11.0, "b", P::spotifyWeb, false, 0.7}},
         12.0, allWeb, playing(P::youtube, 0.5)},
        {"two paused: the latest wins", {{11.0, "a", P::youtube, false, 0.5}, {10.0, "b", P::spotifyWeb, false, 0.7}},
         12.0, allWeb, paused(P::youtube, 0.5)},
        {"disabled player ignored", {{10.0, "a", P::youtube, true, 0.5}, {9.0, "b", P::spotifyWeb, false, 0.7}}, 12.0,
         {P::spotifyWeb}, paused(P::spotifyWeb, 0.7)},
        {"last report of a page wins", {{10.0, "a", P::youtube, true, 0.5}, {11.0, "a", P::youtube, false, 0.2}}, 12.0,
         allWeb, paused(P::youtube, 0.2)},
        {"page changing source", {{10.0, "a", P::youtube, true, 0.5}, {11.0, "a", P::spotifyWeb, true, 0.6}}, 12.0,
         {P::youtube}, std::nullopt},
        {"stale playing loses to paused", {{10.0, "a", P::youtube, true, 0.5}, {13.0, "b", P::spotifyWeb, false, 0.6}},
         13.6, allWeb, paused(P::spotifyWeb, 0.6)},
    };
    for (const auto& c : cases) {
        auto clock = std::make_shared<FakeClock>(0.0);
        BrowserSessionTable table(clock);
        for (const auto& report : c.reports) {
            clock->set(report.at);
            table.store(report.pageId, report.player, report.isPlaying, report.volume);
        }
        EXPECT_EQ(BrowserSessionTable::bestSession(table.sessions(), c.enabled, c.snapshotAt - table.sessionLifetime()),
                  c.expected)
            << c.name;
    }
}

// The bridge expires sessions when its published copy holds a stale one (its own test); a
// stored report expires them too, so that a table nobody reads cannot grow without bound.
TEST(BrowserSessionTable, StoringAReportDropsStalePages) {
    auto clock = std::make_shared<FakeClock>(100.0);
    BrowserSessionTable table(clock);
    table.store("old", MusicPlayer::youtube, true, 1.0);
    clock->advance(2.0);
    table.store("new", MusicPlayer::spotifyWeb, true, 1.0);
    clock->advance(1.6);  // "old" is 3.6 s old, "new" 1.6 s
    EXPECT_EQ(table.sessions().size(), 2u) << "nothing expires by itself";
    table.store("other", MusicPlayer::qqMusicWeb, false, 0.0);
    EXPECT_EQ(table.sessions().count("old"), 0u);
    EXPECT_EQ(table.sessions().size(), 2u);
}
