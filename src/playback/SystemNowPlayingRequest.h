#pragma once

#include "base/MainQueue.h"
#include "playback/SystemNowPlayingProvider.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace sonavista {

// One now-playing query. The two answers (owning process, playing flag) arrive separately;
// the first event that finds both present completes the request with them, and the time-out
// completes it with nothing. Later events change nothing, so the completion runs exactly once.
// All methods run on the main queue.
class SystemNowPlayingRequest {
public:
    static constexpr double timeoutSeconds = 0.35;

    // Creates a request and schedules its time-out on `queue`. The scheduled time-out keeps
    // the request alive until it fires.
    static std::shared_ptr<SystemNowPlayingRequest> start(MainQueue& queue,
                                                          SystemNowPlayingProvider::Completion completion);

    explicit SystemNowPlayingRequest(SystemNowPlayingProvider::Completion completion);

    void receiveProcessIdentifier(std::int32_t processIdentifier);
    void receiveIsPlaying(bool isPlaying);
    void timeOut();

    bool isCompleted() const { return isCompleted_; }

private:
    void completeIfAnswered();
    void complete(std::optional<SystemNowPlayingSnapshot> snapshot);

    std::optional<std::int32_t> processIdentifier_;
    std::optional<bool> isPlaying_;
    bool isCompleted_ = false;
    SystemNowPlayingProvider::Completion completion_;
};

}  // namespace sonavista
