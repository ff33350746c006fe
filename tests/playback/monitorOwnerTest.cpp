#include "playback/NowPlayingOwnerTracker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sonavista {
namespace {

using Status = NowPlayingOwnerTracker::Status;
using Sweep = std::map<std::string, Status>;

struct OwnerCase {
    std::string name;
    std::vector<Sweep> sweeps;
    std::optional<NowPlayingOwnerTracker::Owner> expected;
    // Names the case in test output instead of dumping its bytes.
    friend void PrintTo(const OwnerCase& c, std::ostream* os) { *os << c.name; }
};

class OwnerTrackerTest : public ::testing::TestWithParam<OwnerCase> {};

TEST_P(OwnerTrackerTest, PicksTheOwnerOfPlayback) {
    NowPlayingOwnerTracker tracker;
    for (const auto& sweep : GetParam().sweeps) {
        tracker.observeAll(sweep);
    }
    EXPECT_EQ(tracker.owner(), GetParam().expected);
}

const std::string a = "org.mpris.MediaPlayer2.a";
const std::string b = "org.mpris.MediaPlayer2.b";
const std::string c = "org.mpris.MediaPlayer2.c";

INSTANTIATE_TEST_SUITE_P(
    Cases, OwnerTrackerTest,
    ::testing::Values(
        OwnerCase{"NoPlayers", {{}}, std::nullopt},
        OwnerCase{"OnlyStoppedAndUnknown", {{{a, Status::stopped}, {b, Status::unknown}}}, std::nullopt},
        OwnerCase{"PlayingBeatsPaused", {{{a, Status::paused}, {b, Status::playing}}}, NowPlayingOwnerTracker::Owner{b, true}},
        OwnerCase{"LatestSwitchToPlayingWins",
                  {{{a, Status::playing}, {b, Status::paused}}, {{a, Status::playing}, {b, Status::playing}}},
                  NowPlayingOwnerTracker::Owner{b, true}},
        OwnerCase{"ContinuedPlayingDoesNotCountAsSwitch",
                  {{{a, Status::paused}, {b, Status::playing}},
                   {{a, Status::playing}, {b, Status::playing}},
                   {{a, Status::playing}, {b, Status::playing}}},
                  NowPlayingOwnerTracker::Owner{a, true}},
        OwnerCase{"MostRecentlyActivePausedWins",
                  {{{a, Status::playing}, {b, Status::paused}, {c, Status::paused}},
                   {{a, Status::paused}, {b, Status::paused}, {c, Status::playing}},
                   {{a, Status::paused}, {b, Status::paused}, {c, Status::paused}}},
                  NowPlayingOwnerTracker::Owner{c, false}},
        OwnerCase{"VanishedPlayerIsForgotten",
                  {{{a, Status::paused}, {b, Status::playing}}, {{a, Status::paused}}},
                  NowPlayingOwnerTracker::Owner{a, false}},
        OwnerCase{"ReturningPlayerStartsAfresh",
                  {{{a, Status::playing}}, {{b, Status::playing}}, {{a, Status::playing}, {b, Status::playing}}},
                  NowPlayingOwnerTracker::Owner{a, true}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace sonavista
