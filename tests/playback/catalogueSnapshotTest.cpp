#include <gtest/gtest.h>

#include <set>
#include <string>

#include "playback/MusicPlaybackSnapshot.h"

namespace sonavista {
namespace {

using S = MusicPlaybackState;

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
