#include "base/ManualMainQueue.h"
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
                      RequestCase{"OnlyFlagThenTimeOut", "yt", std::nullopt},
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

PlayerScriptReply text(const char* t) { return PlayerScriptReply::answer(std::string(t)); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptReplyTest,
    ::testing::Values(
        ReplyCase{"CapitalisedPlayingAtHalf", text("PLAYING|50"), 0.5, State::playing, 0.5},
        ReplyCase{"Paused", text("paused|100"), 1.0, State::paused, 1.0},
        ReplyCase{"StoppedFractional", text("Stopped|25.0"), 1.0, State::stopped, 0.5},
        ReplyCase{"UnknownWord", text("fast forwarding|100"), 1.0, State::unknown, 1.0},
        ReplyCase{"NonNumericVolumeIsFull", text("playing|loud"), 0.25, State::playing, 0.5},
        ReplyCase{"PartlyNumericVolumeIsFull", text("playing|50%"), 0.25, State::playing, 0.5},
        ReplyCase{"SpacedVolumeIsFull", text("playing| 50"), 0.25, State::playing, 0.5},
        ReplyCase{"EmptyVolumeIsFull", text("playing|"), 0.25, State::playing, 0.5},
        ReplyCase{"NoBarIsFullVolume", text("paused"), 0.25, State::paused, 0.5},
        ReplyCase{"EmptyTextIsUnknown", text(""), 0.25, State::unknown, 0.5},
        ReplyCase{"NoTextIsUnknown", PlayerScriptReply::answer(std::nullopt), 0.25, State::unknown, 0.5},
        ReplyCase{"ExtraPiecesIgnored", text("playing|64|x|"), 1.0, State::playing, 0.8},
        ReplyCase{"LeadingBarMakesEmptyState", text("|50"), 1.0, State::unknown, std::sqrt(0.5)},
        ReplyCase{"ExponentNotation", text("playing|1e2"), 1.0, State::playing, 1.0},
        ReplyCase{"AboveFullIsClamped", text("playing|400"), 1.0, State::playing, 1.0},
        ReplyCase{"ZeroVolume", text("playing|0"), 1.0, State::playing, 0.0},
        ReplyCase{"NegativeVolumeIsSilent", text("playing|-20"), 1.0, State::playing, 0.0},
        ReplyCase{"NotANumberIsSilent", text("playing|nan"), 1.0, State::playing, 0.0},
        ReplyCase{"SilentSystem", text("playing|100"), 0.0, State::playing, 0.0},
        ReplyCase{"NotPermitted", PlayerScriptReply::failure(-1743), 0.3, State::permissionDenied, 0.3},
        ReplyCase{"NotAuthorized", PlayerScriptReply::failure(-10004), 0.3, State::permissionDenied, 0.3},
        ReplyCase{"OtherError", PlayerScriptReply::failure(-600), 0.3, State::unknown, 0.3},
        ReplyCase{"ErrorWithoutNumber", PlayerScriptReply::failure(), 0.3, State::unknown, 0.3}),
    [](const auto& info) { return info.param.name; });

TEST(PlayerStateQueriesTest, OnlyScriptablePlayersAreAskedAndVolumeFallsBackToFull) {
    auto scripts = std::make_shared<testing::FakeScriptQuery>();
    scripts->replies[MusicPlayer::appleMusic] = text("playing|100");
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

}  // namespace
}  // namespace sonavista
