#include <gtest/gtest.h>

#include <set>
#include <string>

#include "playback/MusicPlaybackSnapshot.h"

namespace sonavista {
namespace {

using S = MusicPlaybackState;

TEST(MusicPlaybackSnapshotTest, EqualityComparesAllFieldsExactly) {
    const MusicPlaybackSnapshot base{MusicPlayer::spotify, S::playing, 0.5};
    struct Row {
        MusicPlaybackSnapshot other;
        bool equal;
    };
    const Row rows[] = {
        {{MusicPlayer::spotify, S::playing, 0.5}, true},
        {{MusicPlayer::spotify, S::playing, 0.5000001}, false},
        {{MusicPlayer::spotify, S::paused, 0.5}, false},
        {{MusicPlayer::spotifyWeb, S::playing, 0.5}, false},
        {{std::nullopt, S::playing, 0.5}, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(base == row.other, row.equal);
        EXPECT_EQ(row.other == base, row.equal);
    }
}

TEST(MusicPlaybackSnapshotTest, IdleSnapshot) {
    const MusicPlaybackSnapshot idle = MusicPlaybackSnapshot::idle();
    EXPECT_EQ(idle.player, std::nullopt);
    EXPECT_EQ(idle.state, S::notRunning);
    EXPECT_EQ(idle.volumeLevel, 0.0);
    EXPECT_EQ(idle, (MusicPlaybackSnapshot{std::nullopt, S::notRunning, 0.0}));
    EXPECT_NE(idle, (MusicPlaybackSnapshot{MusicPlayer::appleMusic, S::notRunning, 0.0}));
    EXPECT_EQ(MusicPlaybackSnapshot{}, idle);
}

TEST(MusicPlaybackSnapshotTest, EveryStateHasDistinctTitle) {
    std::set<std::string_view> titles;
    for (S state : allMusicPlaybackStates) {
        EXPECT_FALSE(displayName(state).empty());
        titles.insert(displayName(state));
    }
    EXPECT_EQ(titles.size(), allMusicPlaybackStates.size());
    EXPECT_EQ(displayName(S::permissionDenied), "Automation Permission Required");
    EXPECT_EQ(displayName(S::notRunning), "Not Running");
}

}  // namespace
}  // namespace sonavista
