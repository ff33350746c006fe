#include "playback/MprisNowPlaying.h"

#include "playback/SystemNowPlayingRequest.h"

#include <functional>
#include <utility>

namespace sonavista {

MprisNowPlaying::MprisNowPlaying(MainQueue& mainQueue, std::shared_ptr<MprisPlayerRegistry> registry)
    : mainQueue_(mainQueue), registry_(std::move(registry)) {}

void MprisNowPlaying::fetch(Completion completion) {
    // Read when the answer is delivered, so a change seen in between is not missed.
    auto answer = [registry = registry_, completion = std::move(completion)] {
        auto current = registry.lock();
        if (!current) {
            completion(std::nullopt);
            return;
        }
        completion(answerFrom(current->ranking()));
    };
    auto current = registry_.lock();
    if (!current || current->isReady()) {
        mainQueue_.post(std::move(answer));
        return;
    }
    // Just after start the players already on the bus are still being read: wait for them,
    // but no longer than a query may take, and answer exactly once.
    auto once = std::make_shared<std::function<void()>>(std::move(answer));
    auto answerOnce = [once] {
        if (*once) {
            std::exchange(*once, nullptr)();
        }
    };
    current->whenReady(answerOnce);
    mainQueue_.postAfter(SystemNowPlayingRequest::timeoutSeconds, answerOnce);
}

SystemNowPlayingSnapshot MprisNowPlaying::answerFrom(std::vector<NowPlayingPlayer> ranking) {
    SystemNowPlayingSnapshot answer;
    if (!ranking.empty()) {
        answer.processIdentifier = ranking.front().processIdentifier;
        answer.isPlaying = ranking.front().isPlaying;
    }
    answer.players = std::move(ranking);
    return answer;
}

}  // namespace sonavista
