#include "playback/MusicPlaybackMonitor.h"

#include "base/WeakCallback.h"
#include "playback/MprisPlayerIdentity.h"
#include "playback/PlayerAudioIdentities.h"

#include <algorithm>
#include <cmath>

#include <utility>
#include <vector>

namespace sonavista {

std::shared_ptr<MusicPlaybackMonitor> MusicPlaybackMonitor::create(
    MainQueue& mainQueue, std::function<MusicPlayerSet()> enabledPlayers, Sources sources,
    std::function<void(const MusicPlaybackSnapshot&)> snapshotDidChange) {
    return std::shared_ptr<MusicPlaybackMonitor>(new MusicPlaybackMonitor(
        mainQueue, std::move(enabledPlayers), std::move(sources), std::move(snapshotDidChange)));
}

MusicPlaybackMonitor::MusicPlaybackMonitor(MainQueue& mainQueue, std::function<MusicPlayerSet()> enabledPlayers,
                                           Sources sources,
                                           std::function<void(const MusicPlaybackSnapshot&)> snapshotDidChange)
    : mainQueue_(mainQueue),
      enabledPlayers_(std::move(enabledPlayers)),
      snapshotDidChange_(std::move(snapshotDidChange)),
      sources_(std::move(sources)) {}

MusicPlaybackMonitor::~MusicPlaybackMonitor() {
    // The timer would do nothing once the monitor is gone; cancelling it frees its slot.
    if (timer_ != 0) {
        mainQueue_.cancel(timer_);
    }
}

void MusicPlaybackMonitor::start() {
    stop();
    ++queryGeneration;
    checkPlaybackState();
    timer_ = mainQueue_.scheduleRepeating(
        passInterval, weakCallback(weak_from_this(), [](MusicPlaybackMonitor& monitor) { monitor.checkPlaybackState(); }));
}

void MusicPlaybackMonitor::stop() {
    if (timer_ != 0) {
        mainQueue_.cancel(timer_);
        timer_ = 0;
    }
    ++queryGeneration;
    queryIsInFlight = false;
}

void MusicPlaybackMonitor::requestFreshPass() {
    ++queryGeneration;
    queryIsInFlight = false;
    checkPlaybackState();
}

void MusicPlaybackMonitor::sourcesDidChange() {
    if (timer_ == 0 || changePassPosted_) {
        return;
    }
    changePassPosted_ = true;
    mainQueue_.post(weakCallback(weak_from_this(), [](MusicPlaybackMonitor& monitor) {
        monitor.changePassPosted_ = false;
        if (monitor.timer_ != 0) {
            monitor.requestFreshPass();
        }
    }));
}

void MusicPlaybackMonitor::checkPlaybackState() {
    if (queryIsInFlight) {
        return;
    }
    MusicPlayerSet enabled = enabledPlayers_ ? enabledPlayers_() : MusicPlayerSet{};
    // With no catalogue player enabled only the players outside it, which the now-playing
    // provider lists, can still count.
    if (enabled.empty() && !sources_.systemNowPlayingProvider) {
        publish(MusicPlaybackSnapshot::idle());
        return;
    }
    std::optional<MusicPlaybackSnapshot> browser;
    if (sources_.browser) {
        browser = sources_.browser->snapshot(enabled);
    }
    if (browser && browser->audio.empty()) browser->audio = browserAudioIdentity(browser->playerDisplayName());
    if (browser && browser->state == MusicPlaybackState::playing) {
        publish(*browser);
        return;
    }
    auto browserFallback = browser;
    if (!sources_.systemNowPlayingProvider) {
        checkPlayerFallbacks(browserFallback);
        return;
    }
    queryIsInFlight = true;
    std::int64_t generation = queryGeneration;
    sources_.systemNowPlayingProvider->fetch(weakCallback(
        weak_from_this(), [generation, enabled, browserFallback](MusicPlaybackMonitor& monitor,
                                                                 std::optional<SystemNowPlayingSnapshot> answer) {
            monitor.handleNowPlayingAnswer(generation, enabled, browserFallback, answer);
        }));
}

void MusicPlaybackMonitor::handleNowPlayingAnswer(std::int64_t generation, const MusicPlayerSet& enabled,
                                                  const std::optional<MusicPlaybackSnapshot>& browserFallback,
                                                  const std::optional<SystemNowPlayingSnapshot>& answer) {
    if (generation != queryGeneration) {
        return;
    }
    queryIsInFlight = false;
    if (answer && !answer->players.empty()) {
        for (const auto& candidate : answer->players) {
            if (auto snapshot = snapshotOf(candidate, enabled)) {
                publish(*snapshot);
                return;
            }
        }
    } else if (answer && answer->processIdentifier >= 1 && sources_.runningApplications) {
        if (auto application = sources_.runningApplications->application(answer->processIdentifier)) {
            auto player = resolveMusicPlayer(application->bundleIdentifier, application->localizedName);
            if (player && enabled.contains(*player)) {
                MusicPlaybackSnapshot snapshot{
                    *player, answer->isPlaying ? MusicPlaybackState::playing : MusicPlaybackState::paused,
                    systemOutputVolume()};
                snapshot.audio = playerAudioIdentity(snapshot.playerDisplayName(), answer->processIdentifier, application);
                publish(snapshot);
                return;
            }
        }
    }
    checkPlayerFallbacks(browserFallback);
}

std::optional<MusicPlaybackSnapshot> MusicPlaybackMonitor::snapshotOf(const NowPlayingPlayer& candidate,
                                                                       const MusicPlayerSet& enabled) {
    std::optional<RunningApplication> application;
    if (candidate.processIdentifier >= 1 && sources_.runningApplications) {
        application = sources_.runningApplications->application(candidate.processIdentifier);
    }
    std::optional<std::string_view> url;
    if (candidate.url) {
        url = *candidate.url;
    }
    auto resolution = resolveMprisPlayer(candidate.busName, application, url);
    if (!resolution) {
        return std::nullopt;
    }
    const auto state = candidate.isPlaying ? MusicPlaybackState::playing : MusicPlaybackState::paused;
    if (resolution->player) {
        if (!enabled.contains(*resolution->player)) {
            return std::nullopt;
        }
        MusicPlaybackSnapshot snapshot{*resolution->player, state, systemOutputVolume()};
        snapshot.audio = playerAudioIdentity(snapshot.playerDisplayName(), candidate.processIdentifier, application);
        return snapshot;
    }
    const auto& stem = resolution->otherPlayerStem;
    const bool isEnabled =
        sources_.otherPlayerEnabled ? sources_.otherPlayerEnabled(stem) : isOtherPlayerEnabledByDefault(stem);
    if (!isEnabled) {
        return std::nullopt;
    }
    // The player's own volume scales the output's, as for a queried player's answer.
    double level = systemOutputVolume();
    if (candidate.volume && std::isfinite(*candidate.volume)) {
        level = std::sqrt(std::clamp(*candidate.volume, 0.0, 1.0) * level);
    }
    MusicPlaybackSnapshot snapshot{state, level, stem, candidate.identity.empty() ? stem : candidate.identity};
    snapshot.audio = playerAudioIdentity(snapshot.playerDisplayName(), candidate.processIdentifier, application);
    return snapshot;
}

void MusicPlaybackMonitor::checkPlayerFallbacks(const std::optional<MusicPlaybackSnapshot>& browserFallback) {
    MusicPlayerSet enabled = enabledPlayers_ ? enabledPlayers_() : MusicPlayerSet{};
    MusicPlayerSet running;
    std::vector<std::pair<MusicPlayer, RunningApplication>> processes;  // of the running players
    if (sources_.runningApplications) {
        for (const auto& application : sources_.runningApplications->runningApplications()) {
            auto player = resolveMusicPlayer(application.bundleIdentifier, application.localizedName);
            if (player && enabled.contains(*player)) {
                running.insert(*player);
                processes.emplace_back(*player, application);
            }
        }
    }
    const auto withAudio = [&processes](MusicPlaybackSnapshot snapshot) {
        std::vector<RunningApplication> own;
        for (const auto& [player, application] : processes) {
            if (player == snapshot.player) own.push_back(application);
        }
        snapshot.audio = playerAudioIdentity(snapshot.playerDisplayName(), own);
        return snapshot;
    };
    if (running.empty()) {
        publish(browserFallback.value_or(MusicPlaybackSnapshot::idle()));
        return;
    }
    std::vector<MusicPlaybackSnapshot> candidates;
    for (MusicPlayer player : allMusicPlayers) {
        if (!running.contains(player) || isWebPlayer(player)) {
            continue;
        }
        if (isScriptable(player)) {
            auto snapshot = sources_.playerStateQueries
                                ? sources_.playerStateQueries->scriptSnapshot(player)
                                : MusicPlaybackSnapshot{player, MusicPlaybackState::unknown, 1.0};
            if (snapshot.state == MusicPlaybackState::playing) {
                publish(withAudio(snapshot));
                return;
            }
            candidates.push_back(withAudio(snapshot));
        } else {
            // A running player that cannot be asked counts as paused.
            candidates.push_back(withAudio(MusicPlaybackSnapshot{player, MusicPlaybackState::paused, systemOutputVolume()}));
        }
    }
    for (auto preferred : {MusicPlaybackState::paused, MusicPlaybackState::permissionDenied}) {
        for (const auto& candidate : candidates) {
            if (candidate.state == preferred) {
                publish(candidate);
                return;
            }
        }
    }
    if (!candidates.empty()) {
        publish(candidates.front());
        return;
    }
    publish(browserFallback.value_or(MusicPlaybackSnapshot::idle()));
}

void MusicPlaybackMonitor::publish(const MusicPlaybackSnapshot& snapshot) {
    if (lastSnapshot_ && *lastSnapshot_ == snapshot && lastSnapshot_->audio == snapshot.audio) {
        return;
    }
    lastSnapshot_ = snapshot;
    if (snapshotDidChange_) {
        snapshotDidChange_(snapshot);
    }
}

double MusicPlaybackMonitor::systemOutputVolume() {
    return sources_.playerStateQueries ? sources_.playerStateQueries->systemOutputVolume() : 1.0;
}

}  // namespace sonavista
