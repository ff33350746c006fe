#include "base/ManualMainQueue.h"
#include "playback/NowPlayingOwnerTracker.h"
#include "playback/PlayerStateQueries.h"
#include "playback/SystemNowPlayingRequest.h"
#include "monitorFakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace sonavista {
namespace {

using State = MusicPlaybackState;

// Events delivered to one now-playing request, in order.
struct RequestCase {
    std::string name;
    std::string events;  // 'p' = process 42, 'q' = process -1, 'y' = playing, 'n' = not playing, 't' = time-out
    std::optional<SystemNowPlayingSnapshot> expected;
    // Names the case in test output instead of dumping its bytes.
    friend void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }
};

class NowPlayingRequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(NowPlayingRequestTest, CompletesExactlyOnce) {
    std::vector<std::optional<SystemNowPlayingSnapshot>> results;
    SystemNowPlayingRequest request([&](auto snapshot) { results.push_back(snapshot); });
    for (char event : GetParam().events) {
        switch (event) {
            case 'p': request.receiveProcessIdentifier(42); break;
            case 'q': request.receiveProcessIdentifier(-1); break;
            case 'y': request.receiveIsPlaying(true); break;
            case 'n': request.receiveIsPlaying(false); break;
            case 't': request.timeOut(); break;
        }
    }
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], GetParam().expected);
    EXPECT_TRUE(request.isCompleted());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NowPlayingRequestTest,
    ::testing::Values(RequestCase{"BothThenTimeOut", "pyt", SystemNowPlayingSnapshot{42, true}},
                      RequestCase{"PlayingFlagFirst", "np", SystemNowPlayingSnapshot{42, false}},
                      RequestCase{"NoOwnerIsStillAnAnswer", "qn", SystemNowPlayingSnapshot{-1, false}},
                      RequestCase{"OnlyProcessThenTimeOut", "pt", std::nullopt},
                      RequestCase{"LateAnswersAfterTimeOut", "tpyt", std::nullopt},
                      RequestCase{"LaterAnswersChangeNothing", "pynqt", SystemNowPlayingSnapshot{42, true}}),
    [](const auto& info) { return info.param.name; });

TEST(NowPlayingRequestTest, ScheduledTimeOutFiresAfterThirtyFiveHundredths) {
    ManualMainQueue queue;
    int calls = 0;
    std::optional<SystemNowPlayingSnapshot> result{SystemNowPlayingSnapshot{1, true}};
    auto request = SystemNowPlayingRequest::start(queue, [&](auto snapshot) {
        ++calls;
        result = snapshot;
    });
    request->receiveIsPlaying(true);
    queue.advance(0.349);
    EXPECT_EQ(calls, 0);
    queue.advance(0.002);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(result, std::nullopt);
    request->receiveProcessIdentifier(3);
    EXPECT_EQ(calls, 1);
}

struct ReplyCase {
    std::string name;
    PlayerScriptReply reply;
    double systemVolume;
    State state;
    double volumeLevel;
    // Names the case in test output instead of dumping its bytes.
    friend void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }
};

class ScriptReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ScriptReplyTest, GivesStateAndVolume) {
    const auto& c = GetParam();
    auto snapshot = PlayerStateQueries::snapshotFromReply(MusicPlayer::spotify, c.reply, c.systemVolume);
    EXPECT_EQ(snapshot.player, MusicPlayer::spotify);
    EXPECT_EQ(snapshot.state, c.state);
    EXPECT_DOUBLE_EQ(snapshot.volumeLevel, c.volumeLevel);
}

PlayerScriptReply answer(State state, double volumePercent) { return PlayerScriptReply::answer(state, volumePercent); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptReplyTest,
    ::testing::Values(
        ReplyCase{"PlayingAtHalf", answer(State::playing, 50), 0.5, State::playing, 0.5},
        ReplyCase{"AboveFullIsClamped", answer(State::playing, 400), 1.0, State::playing, 1.0},
        ReplyCase{"NegativeVolumeIsSilent", answer(State::playing, -20), 1.0, State::playing, 0.0},
        ReplyCase{"NotANumberIsSilent", answer(State::playing, std::nan("")), 1.0, State::playing, 0.0},
        ReplyCase{"Refused", PlayerScriptReply::refused(), 0.3, State::permissionDenied, 0.3},
        ReplyCase{"Unavailable", PlayerScriptReply::unavailable(), 0.3, State::unknown, 0.3}),
    [](const auto& info) { return info.param.name; });

TEST(PlayerStateQueriesTest, OnlyScriptablePlayersAreAskedAndVolumeFallsBackToFull) {
    auto scripts = std::make_shared<testing::FakeScriptQuery>();
    scripts->replies[MusicPlayer::appleMusic] = answer(State::playing, 100);
    auto volume = std::make_shared<testing::FakeOutputVolume>();
    volume->volume = 0.64;
    PlayerStateQueries queries(scripts, volume);

    EXPECT_EQ(queries.scriptSnapshot(MusicPlayer::qqMusic),
              (MusicPlaybackSnapshot{MusicPlayer::qqMusic, State::unknown, 0.64}));
    EXPECT_EQ(queries.scriptSnapshot(MusicPlayer::appleMusic),
              (MusicPlaybackSnapshot{MusicPlayer::appleMusic, State::playing, 0.8}));
    EXPECT_EQ(scripts->asked, std::vector<MusicPlayer>{MusicPlayer::appleMusic});

    for (double bad : {-0.5, std::numeric_limits<double>::quiet_NaN(), 3.0}) {
        volume->volume = bad;
        double v = queries.systemOutputVolume();
        EXPECT_TRUE(v >= 0.0 && v <= 1.0) << bad;
    }
    PlayerStateQueries without(nullptr, nullptr);
    EXPECT_EQ(without.systemOutputVolume(), 1.0);
    EXPECT_EQ(without.scriptSnapshot(MusicPlayer::spotify),
              (MusicPlaybackSnapshot{MusicPlayer::spotify, State::unknown, 1.0}));
}

// --- Owner of playback among the MPRIS players ---------------------------------------------

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
