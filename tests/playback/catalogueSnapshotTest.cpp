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

TEST(MusicPlaybackSnapshotTest, EveryStateHasDistinctTitle) {
    std::set<std::string_view> titles;
    for (S state : allMusicPlaybackStates) {
        EXPECT_FALSE(displayName(state).empty());
        titles.insert(displayName(state));
    }
    EXPECT_EQ(titles.size(), allMusicPlaybackStates.size());
}

}  // namespace
}  // namespace sonavista
