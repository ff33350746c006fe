#pragma once

#include "base/MainQueue.h"
#include "playback/MprisPlayerRegistry.h"
#include "playback/SystemNowPlayingProvider.h"

#include <memory>

namespace sonavista {

// The now-playing service over MPRIS: answers from the registry's current state, so a fetch
// makes no D-Bus call at all. The answer names the owner of playback (its process, whether it
// plays) and lists every playing or paused player in order of ownership; with no such player
// the process is 0. The completion runs on the main queue, after the current work; right
// after start, once the players already on the bus have been read (at most 0.35 s later).
class MprisNowPlaying final : public SystemNowPlayingProvider {
public:
    MprisNowPlaying(MainQueue& mainQueue, std::shared_ptr<MprisPlayerRegistry> registry);

    void fetch(Completion completion) override;

    static SystemNowPlayingSnapshot answerFrom(std::vector<NowPlayingPlayer> ranking);

private:
    MainQueue& mainQueue_;
    std::weak_ptr<MprisPlayerRegistry> registry_;
};

}  // namespace sonavista
