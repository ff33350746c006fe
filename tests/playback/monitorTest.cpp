// Playback detection on fakes of every source: the monitor, the cached application list, the
// now-playing request, the player queries and the owner of playback among MPRIS players.
#include "base/ManualMainQueue.h"
#include "playback/CachedRunningApplications.h"
#include "playback/MusicPlaybackMonitor.h"
#include "playback/NowPlayingOwnerTracker.h"
#include "playback/PlayerStateQueries.h"
#include "playback/SystemNowPlayingRequest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace sonavista {
namespace {

// Every source the monitor reads: a browser page (hidden when its player is not enabled),
// now-playing queries kept pending so that a test decides when, and with what, each answers,
// scripted player replies, the output volume and the running applications.
struct FakeSources : BrowserPlaybackSource, SystemNowPlayingProvider, PlayerScriptQuery, OutputVolume,
                     RunningApplications {
    std::optional<MusicPlaybackSnapshot> page;
    std::vector<Completion> pending;
    std::map<MusicPlayer, PlayerScriptReply> replies;
    std::vector<MusicPlayer> asked;
    double volume = 1.0;
    std::vector<RunningApplication> applications;
    int scans = 0;

    std::optional<MusicPlaybackSnapshot> snapshot(const MusicPlayerSet& enabled) override {
        return page && page->player && !enabled.contains(*page->player) ? std::nullopt : page;
    }
    void fetch(Completion completion) override { pending.push_back(std::move(completion)); }
    void answer(std::size_t index, std::optional<SystemNowPlayingSnapshot> snapshot) {
        std::exchange(pending.at(index), {})(snapshot);
    }
    PlayerScriptReply query(MusicPlayer player) override {
        asked.push_back(player);
        auto found = replies.find(player);
        return found == replies.end() ? PlayerScriptReply::unavailable() : found->second;
    }
    double systemOutputVolume() override { return volume; }
    std::vector<RunningApplication> runningApplications() override {
        ++scans;
        return applications;
    }
    std::optional<RunningApplication> application(std::int32_t pid) override {
        for (const auto& application : applications)
            if (application.processIdentifier == pid) return application;
        return std::nullopt;
    }
};

using State = MusicPlaybackState;
using P = MusicPlayer;

const RunningApplication appleMusicApp{10, std::nullopt, "Cider"};
const RunningApplication qqMusicApp{11, "com.tencent.qqmusic", "QQ"};
const RunningApplication spotifyApp{30, std::nullopt, "spotify"};
const RunningApplication rhythmboxApp{50, std::nullopt, "rhythmbox"};
const RunningApplication firefoxApp{60, std::nullopt, "firefox-esr"};

const MusicPlayerSet allEnabled(allMusicPlayers.begin(), allMusicPlayers.end());

MusicPlaybackSnapshot snap(std::optional<P> player, State state, double volume) {
    return MusicPlaybackSnapshot{player, state, volume};
}

NowPlayingPlayer rhythmbox(bool playing) {
    return {"org.mpris.MediaPlayer2.rhythmbox", 50, playing, "Rhythmbox", "file:///music/a.ogg", 0.5625};
}
NowPlayingPlayer firefoxTab(const char* url) {
    return {"org.mpris.MediaPlayer2.firefox.instance_1_42", 60, true, "Firefox", url, 1.0};
}
// The players list as a now-playing answer, owner first.
SystemNowPlayingSnapshot players(std::vector<NowPlayingPlayer> list) {
    return SystemNowPlayingSnapshot{list.front().processIdentifier, list.front().isPlaying, list};
}

struct Harness {
    ManualMainQueue queue;
    MusicPlayerSet enabled = allEnabled;
    std::shared_ptr<FakeSources> fake = std::make_shared<FakeSources>();
    std::vector<MusicPlaybackSnapshot> published;
    std::shared_ptr<MusicPlaybackMonitor> monitor;
    std::shared_ptr<CachedRunningApplications> cache;

    // `cacheRefresh` > 0 puts a cached list of running applications between the monitor and the fake.
    explicit Harness(bool withNowPlaying = true, double cacheRefresh = 0.0) {
        std::shared_ptr<RunningApplications> running = fake;
        if (cacheRefresh > 0.0) running = cache = std::make_shared<CachedRunningApplications>(queue, fake, cacheRefresh);
        MusicPlaybackMonitor::Sources sources{fake, withNowPlaying ? fake : nullptr,
                                              std::make_shared<PlayerStateQueries>(fake, fake), running};
        monitor = MusicPlaybackMonitor::create(queue, [this] { return enabled; }, sources,
                                               [this](const MusicPlaybackSnapshot& s) { published.push_back(s); });
    }
};

PlayerScriptReply said(State state, double volumePercent = 100.0) { return PlayerScriptReply::answer(state, volumePercent); }

TEST(MonitorPassTest, PublishesTheExpectedSnapshot) {
    using enum MusicPlayer;
    using enum MusicPlaybackState;
    using NP = SystemNowPlayingSnapshot;
    const MusicPlayerSet all = allEnabled;
    const auto other = [](State state) { return MusicPlaybackSnapshot{state, 0.375, "rhythmbox", "Rhythmbox"}; };
    // One pass through every source. Each row: its name, the enabled players, the browser page,
    // whether there is a now-playing provider and its answer (none: the query completes with
    // nothing), the running applications, the player replies, the snapshot and the players asked.
    const std::tuple<std::string, MusicPlayerSet, std::optional<MusicPlaybackSnapshot>, bool, std::optional<NP>,
                     std::vector<RunningApplication>, std::map<P, PlayerScriptReply>, MusicPlaybackSnapshot,
                     std::vector<P>>
        rows[] = {
        {"PlayingPageBeatsPlayingNativePlayer", all, snap(youtube, playing, 0.7), true, NP{30, true}, {spotifyApp},
         {{spotify, said(playing)}}, snap(youtube, playing, 0.7), {}},
        {"PausedPageLosesToRunningNativePlayer", all, snap(youtube, paused, 0.7), false, std::nullopt, {qqMusicApp}, {},
         snap(qqMusic, paused, 0.25), {}},
        {"NowPlayingSaysPaused", all, std::nullopt, true, NP{30, false}, {spotifyApp}, {{spotify, said(playing)}},
         snap(spotify, paused, 0.25), {}},
        {"NowPlayingNamesDisabledPlayer", {qqMusic}, std::nullopt, true, NP{30, true}, {spotifyApp, qqMusicApp}, {},
         snap(qqMusic, paused, 0.25), {}},
        {"NowPlayingNamesNoProcess", all, std::nullopt, true, NP{0, true}, {spotifyApp}, {{spotify, said(paused, 50)}},
         snap(spotify, paused, std::sqrt(0.5 * 0.25)), {spotify}},
        {"NowPlayingSilent", all, std::nullopt, true, std::nullopt, {spotifyApp}, {{spotify, said(playing)}},
         snap(spotify, playing, 0.5), {spotify}},
        {"BothScriptedFirstPlayingWins", all, std::nullopt, false, std::nullopt, {spotifyApp, appleMusicApp},
         {{appleMusic, said(paused)}, {spotify, said(playing)}}, snap(spotify, playing, 0.5), {appleMusic, spotify}},
        {"PlayingAppleMusicStopsTheRanking", all, std::nullopt, false, std::nullopt, {spotifyApp, appleMusicApp},
         {{appleMusic, said(playing)}, {spotify, said(playing)}}, snap(appleMusic, playing, 0.5), {appleMusic}},
        {"PausedPreferredToStopped", all, std::nullopt, false, std::nullopt, {appleMusicApp, qqMusicApp},
         {{appleMusic, said(stopped)}}, snap(qqMusic, paused, 0.25), {appleMusic}},
        {"PermissionDeniedPreferredToUnknown", all, std::nullopt, false, std::nullopt, {appleMusicApp, spotifyApp},
         {{appleMusic, PlayerScriptReply::unavailable()}, {spotify, PlayerScriptReply::refused()}},
         snap(spotify, permissionDenied, 0.25), {appleMusic, spotify}},
        {"FirstCandidateOfAnyState", all, snap(youtube, paused, 0.7), false, std::nullopt, {spotifyApp, appleMusicApp},
         {{appleMusic, said(stopped)}, {spotify, said(unknown)}}, snap(appleMusic, stopped, 0.5),
         {appleMusic, spotify}},
        // Players the now-playing service lists, owner first.
        {"BrowserOnAnotherSiteIsOffByDefault", all, std::nullopt, true,
         players({firefoxTab("https://vimeo.com/1"), rhythmbox(false)}), {rhythmboxApp, firefoxApp}, {}, other(paused),
         {}},
        {"BrowserTabOnYouTubeMusicIsYouTube", all, std::nullopt, true,
         players({firefoxTab("https://music.youtube.com/watch?v=1"), rhythmbox(true)}), {firefoxApp}, {},
         snap(youtube, playing, 0.25), {}},
        {"BrowserTabObeysTheWebPlayerSwitch", {spotify}, std::nullopt, true,
         players({firefoxTab("https://www.youtube.com/watch?v=1"), rhythmbox(false)}), {firefoxApp}, {}, other(paused),
         {}},
        {"OtherPlayerCountsWithNoCataloguePlayerEnabled", {}, std::nullopt, true, players({rhythmbox(true)}), {}, {},
         other(playing), {}},
        {"EnabledButNotRunningIsNeverScripted", {spotify, youtube}, snap(youtube, paused, 0.7), false, std::nullopt,
         {appleMusicApp, qqMusicApp}, {{spotify, said(playing)}}, snap(youtube, paused, 0.7), {}},
    };
    for (const auto& [name, enabled, page, withProvider, nowPlaying, running, replies, expected, asked] : rows) {
        SCOPED_TRACE(name);
        Harness h(withProvider);
        h.enabled = enabled;
        h.fake->page = page;
        h.fake->applications = running;
        h.fake->replies = replies;
        h.fake->volume = 0.25;

        h.monitor->start();
        if (withProvider && !h.fake->pending.empty()) h.fake->answer(0, nowPlaying);
        EXPECT_EQ(h.published, std::vector{expected});
        EXPECT_EQ(h.fake->asked, asked);
    }
}

TEST(MonitorLifecycleTest, PassesEverySecondHalfAndPublishesOnlyChanges) {
    Harness h(false);
    h.fake->applications = {qqMusicApp};
    h.monitor->start();
    h.queue.advance(1.0);
    EXPECT_EQ(h.fake->scans, 3);
    EXPECT_EQ(h.published.size(), 1u);

    // A volume change alone is a different snapshot.
    h.fake->volume = 0.5;
    h.queue.advance(0.5);
    EXPECT_EQ(h.published.back(), snap(P::qqMusic, State::paused, 0.5));
}

TEST(MonitorLifecycleTest, TicksAreSkippedWhileAQueryIsInFlight) {
    Harness h;
    h.monitor->start();
    h.queue.advance(1.6);
    EXPECT_EQ(h.fake->pending.size(), 1u);
    EXPECT_TRUE(h.published.empty());
    h.fake->answer(0, std::nullopt);
    h.queue.advance(0.5);
    EXPECT_EQ(h.fake->pending.size(), 2u);
}

// An answer to a query begun before a restart or a fresh pass is ignored and leaves the newer
// query in flight.
TEST(MonitorLifecycleTest, StaleAnswerChangesNothing) {
    for (const bool restart : {true, false}) {
        SCOPED_TRACE(restart ? "restart" : "fresh pass");
        Harness h;
        h.fake->applications = {spotifyApp};
        h.monitor->start();
        restart ? h.monitor->start() : h.monitor->requestFreshPass();
        ASSERT_EQ(h.fake->pending.size(), 2u);
        h.fake->answer(0, SystemNowPlayingSnapshot{30, true});
        EXPECT_TRUE(h.monitor->queryIsInFlight);
        h.fake->answer(1, SystemNowPlayingSnapshot{30, false});
        EXPECT_EQ(h.published, std::vector{snap(P::spotify, State::paused, 1.0)});
    }
}

TEST(MonitorLifecycleTest, SourceChangesCoalesceIntoOneFreshPass) {
    Harness h;
    h.monitor->sourcesDidChange();  // stopped: ignored
    h.queue.runPending();
    h.monitor->start();
    h.monitor->sourcesDidChange();
    h.monitor->sourcesDidChange();
    h.queue.runPending();
    // One pass for both changes, not held back by the query still in flight.
    EXPECT_EQ(h.fake->pending.size(), 2u);
}

// Stopped or released, the monitor leaves no timer behind and a late answer changes nothing.
TEST(MonitorLifecycleTest, StopOrReleaseDiscardsTheAnswerAndTheTimer) {
    for (const bool release : {false, true}) {
        SCOPED_TRACE(release ? "released" : "stopped");
        Harness h;
        h.monitor->start();
        const std::weak_ptr<MusicPlaybackMonitor> weak = h.monitor;
        release ? h.monitor.reset() : h.monitor->stop();
        EXPECT_EQ(weak.expired(), release);
        EXPECT_EQ(h.queue.timerCount(), 0u);
        h.fake->answer(0, SystemNowPlayingSnapshot{30, true});
        h.queue.advance(1.0);
        EXPECT_TRUE(h.published.empty());
    }
}

constexpr double cacheRefresh = 2.0;

// A player that starts or quits, over the cached list of running applications: published at
// once when the session bus announces it, within a refresh and a pass when nothing does.
TEST(CachedRunningApplicationsTest, ChangesArePublishedInTime) {
    Harness h(false, cacheRefresh);
    h.monitor->start();
    h.queue.advance(0.3);
    h.fake->applications = {qqMusicApp};
    h.cache->invalidate();
    h.monitor->sourcesDidChange();
    h.queue.runPending();
    EXPECT_EQ(h.published.back(), snap(P::qqMusic, State::paused, 1.0)) << "announced start";
    h.fake->applications = {};
    h.queue.advance(cacheRefresh + MusicPlaybackMonitor::passInterval);
    EXPECT_EQ(h.published.back(), MusicPlaybackSnapshot::idle()) << "quiet quit";
}

// A player leaves the bus while its process is still shutting down, so the rescan that its
// departure triggers still lists it (read `unknown`: nothing on the bus answers for it). Its
// process is followed: the player reads not running soon after it ends, or after its id is
// taken by another program; one that goes on running is watched no longer than a refresh.
TEST(CachedRunningApplicationsTest, DepartedPlayerReadsNotRunningSoonAfterItsProcessEnds) {
    const std::tuple<const char*, std::optional<RunningApplication>, State> rows[] = {
        {"ends", std::nullopt, State::notRunning},
        {"id reused", RunningApplication{30, std::nullopt, "bash"}, State::notRunning},
        {"keeps running", spotifyApp, State::unknown},
    };
    for (const auto& [name, afterwards, expected] : rows) {
        Harness h(false, cacheRefresh);
        h.fake->applications = {spotifyApp};
        h.monitor->start();
        h.queue.advance(0.3);
        const auto timers = h.queue.timerCount();
        // What the departure does: follow the process, rescan, and run a pass.
        h.cache->watchForExit(spotifyApp.processIdentifier, [&h] { h.monitor->sourcesDidChange(); });
        h.cache->invalidate();
        h.monitor->sourcesDidChange();
        h.queue.advance(0.15);
        EXPECT_EQ(h.published.back().state, State::unknown) << name;
        h.fake->applications.clear();
        if (afterwards) h.fake->applications.push_back(*afterwards);
        h.queue.advance(0.35);
        EXPECT_EQ(h.published.back().state, expected) << name << ": 0.5 s after the departure";
        h.queue.advance(cacheRefresh);
        EXPECT_EQ(h.queue.timerCount(), timers) << name << ": the watch outlived a refresh";
    }
}

TEST(CachedRunningApplicationsTest, QuietPassesScanOncePerRefreshAndLookUpsGoStraightThrough) {
    Harness h(false, cacheRefresh);
    h.monitor->start();
    h.queue.advance(10.0);  // 21 passes
    EXPECT_EQ(h.fake->scans, 6);
    h.fake->applications = {qqMusicApp};
    EXPECT_EQ(h.cache->application(11), qqMusicApp);
    h.monitor.reset(), h.cache.reset();
    EXPECT_EQ(h.queue.timerCount(), 0u) << "the refresh timer outlived the cache";
}

// Events delivered to one request, in order: 'p' process 42, 'q' process -1, 'y' playing,
// 'n' not playing, 't' time-out. The request completes exactly once.
TEST(NowPlayingRequestTest, CompletesExactlyOnce) {
    const std::pair<std::string, std::optional<SystemNowPlayingSnapshot>> rows[] = {
        {"pyt", SystemNowPlayingSnapshot{42, true}}, {"np", SystemNowPlayingSnapshot{42, false}},
        {"qn", SystemNowPlayingSnapshot{-1, false}}, {"pt", std::nullopt},
        {"tpyt", std::nullopt},                      {"pynqt", SystemNowPlayingSnapshot{42, true}},
    };
    for (const auto& [events, expected] : rows) {
        std::vector<std::optional<SystemNowPlayingSnapshot>> results;
        SystemNowPlayingRequest request([&](auto snapshot) { results.push_back(snapshot); });
        for (char event : events) {
            if (event == 'p' || event == 'q') request.receiveProcessIdentifier(event == 'p' ? 42 : -1);
            if (event == 'y' || event == 'n') request.receiveIsPlaying(event == 'y');
            if (event == 't') request.timeOut();
        }
        EXPECT_EQ(results, std::vector{expected}) << events;
    }
}

TEST(NowPlayingRequestTest, ScheduledTimeOutFiresAfterThirtyFiveHundredths) {
    ManualMainQueue queue;
    std::vector<std::optional<SystemNowPlayingSnapshot>> results;
    auto request = SystemNowPlayingRequest::start(queue, [&](auto snapshot) { results.push_back(snapshot); });
    queue.advance(0.349);
    EXPECT_TRUE(results.empty());
    queue.advance(0.002);
    EXPECT_EQ(results, std::vector<std::optional<SystemNowPlayingSnapshot>>{std::nullopt});
}

// Refused and unanswered replies, and which players are asked, are in the pass table above;
// here the volumes that come from outside: out of range or not a number.
TEST(PlayerStateQueriesTest, VolumesAreBoundedAndDefaultToFull) {
    for (const auto& [percent, level] : {std::pair{400.0, 1.0}, {-20.0, 0.0}, {std::nan(""), 0.0}}) {
        EXPECT_EQ(PlayerStateQueries::snapshotFromReply(P::spotify, said(State::playing, percent), 1.0).volumeLevel, level)
            << percent;
    }
    auto fake = std::make_shared<FakeSources>();
    PlayerStateQueries queries(fake, fake);
    for (double bad : {-0.5, std::numeric_limits<double>::quiet_NaN(), 3.0}) {
        fake->volume = bad;
        const double v = queries.systemOutputVolume();
        EXPECT_TRUE(v >= 0.0 && v <= 1.0) << bad;
    }
    EXPECT_EQ(PlayerStateQueries(nullptr, nullptr).scriptSnapshot(P::spotify), snap(P::spotify, State::unknown, 1.0));
}

TEST(OwnerTrackerTest, PicksTheOwnerOfPlayback) {
    using enum NowPlayingOwnerTracker::Status;
    using Owner = NowPlayingOwnerTracker::Owner;
    const std::string a = "org.mpris.MediaPlayer2.a", b = "org.mpris.MediaPlayer2.b", c = "org.mpris.MediaPlayer2.c";
    // Each row: its name, the statuses of successive sweeps and the owner after them.
    using Sweep = std::map<std::string, NowPlayingOwnerTracker::Status>;
    const std::tuple<const char*, std::vector<Sweep>, std::optional<Owner>> rows[] = {
        {"only stopped and unknown", {{{a, stopped}, {b, unknown}}}, std::nullopt},
        {"playing beats paused", {{{a, paused}, {b, playing}}}, Owner{b, true}},
        {"latest switch to playing wins", {{{a, playing}, {b, paused}}, {{a, playing}, {b, playing}}}, Owner{b, true}},
        {"continued playing is no switch",
         {{{a, paused}, {b, playing}}, {{a, playing}, {b, playing}}, {{a, playing}, {b, playing}}}, Owner{a, true}},
        {"most recently active paused wins",
         {{{a, playing}, {b, paused}, {c, paused}}, {{a, paused}, {b, paused}, {c, playing}},
          {{a, paused}, {b, paused}, {c, paused}}},
         Owner{c, false}},
        {"vanished player forgotten", {{{a, paused}, {b, playing}}, {{a, paused}}}, Owner{a, false}},
        {"returning player starts afresh", {{{a, playing}}, {{b, playing}}, {{a, playing}, {b, playing}}},
         Owner{a, true}},
    };
    for (const auto& [name, sweeps, expected] : rows) {
        NowPlayingOwnerTracker tracker;
        for (const auto& sweep : sweeps) tracker.observeAll(sweep);
        EXPECT_EQ(tracker.owner(), expected) << name;
    }
}

}  // namespace
}  // namespace sonavista
