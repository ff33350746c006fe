#include "playback/SystemNowPlayingRequest.h"

#include <utility>

namespace sonavista {

std::shared_ptr<SystemNowPlayingRequest> SystemNowPlayingRequest::start(
    MainQueue& queue, SystemNowPlayingProvider::Completion completion) {
    auto request = std::make_shared<SystemNowPlayingRequest>(std::move(completion));
    queue.postAfter(timeoutSeconds, [request] { request->timeOut(); });
    return request;
}

SystemNowPlayingRequest::SystemNowPlayingRequest(SystemNowPlayingProvider::Completion completion)
    : completion_(std::move(completion)) {}

void SystemNowPlayingRequest::receiveProcessIdentifier(std::int32_t processIdentifier) {
    if (isCompleted_) {
        return;
    }
    processIdentifier_ = processIdentifier;
    completeIfAnswered();
}

void SystemNowPlayingRequest::receiveIsPlaying(bool isPlaying) {
    if (isCompleted_) {
        return;
    }
    isPlaying_ = isPlaying;
    completeIfAnswered();
}

void SystemNowPlayingRequest::timeOut() {
    if (!isCompleted_) {
        complete(std::nullopt);
    }
}

void SystemNowPlayingRequest::completeIfAnswered() {
    if (processIdentifier_ && isPlaying_) {
        complete(SystemNowPlayingSnapshot{*processIdentifier_, *isPlaying_});
    }
}

void SystemNowPlayingRequest::complete(std::optional<SystemNowPlayingSnapshot> snapshot) {
    isCompleted_ = true;
    // Moved out first so that the completion's captures are released once it has run,
    // even while the time-out still holds the request.
    auto completion = std::move(completion_);
    completion_ = nullptr;
    if (completion) {
        completion(snapshot);
    }
}

}  // namespace sonavista
