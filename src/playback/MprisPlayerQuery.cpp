#include "playback/MprisPlayerQuery.h"

#include "base/AsciiLowercase.h"
#include "playback/MprisPlayerIdentity.h"

#include <cmath>
#include <utility>

namespace sonavista {
namespace {

// An MPRIS PlaybackStatus ("Playing", "Paused", "Stopped") in any letter case.
MusicPlaybackState stateFromStatus(const std::string& status) {
    const auto lower = asciiLowercased(status);
    if (lower == "playing") {
        return MusicPlaybackState::playing;
    }
    if (lower == "paused") {
        return MusicPlaybackState::paused;
    }
    if (lower == "stopped") {
        return MusicPlaybackState::stopped;
    }
    return MusicPlaybackState::unknown;
}

// An MPRIS volume (1.0 = full) in percent, rounded to a thousandth so that 0.57 gives exactly
// 57; full when the player does not report a finite volume.
double volumePercent(std::optional<double> volume) {
    if (!volume || !std::isfinite(*volume)) {
        return 100.0;
    }
    return std::round(*volume * 100.0 * 1000.0) / 1000.0;
}

}  // namespace

MprisPlayerQuery::MprisPlayerQuery(std::shared_ptr<MprisPlayerRegistry> registry,
                                   std::shared_ptr<RunningApplications> runningApplications)
    : registry_(std::move(registry)), runningApplications_(std::move(runningApplications)) {}

PlayerScriptReply MprisPlayerQuery::query(MusicPlayer player) {
    auto registry = registry_.lock();
    if (!registry) {
        return PlayerScriptReply::unavailable();
    }
    for (const auto& candidate : registry->players()) {
        std::optional<RunningApplication> application;
        if (candidate.processIdentifier >= 1 && runningApplications_) {
            application = runningApplications_->application(candidate.processIdentifier);
        }
        auto resolution = resolveMprisPlayer(candidate.busName, application, std::nullopt);
        if (!resolution || resolution->player != player) {
            continue;
        }
        if (candidate.accessDenied) {
            return PlayerScriptReply::refused();
        }
        if (!candidate.playbackStatus) {
            return PlayerScriptReply::unavailable();
        }
        return PlayerScriptReply::answer(stateFromStatus(*candidate.playbackStatus), volumePercent(candidate.volume));
    }
    return PlayerScriptReply::unavailable();
}

}  // namespace sonavista
