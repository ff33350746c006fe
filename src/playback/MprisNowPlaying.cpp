#include "playback/MprisNowPlaying.h"

#include <utility>

namespace sonavista {

MprisNowPlaying::MprisNowPlaying(MainQueue& mainQueue, std::shared_ptr<MprisPlayerRegistry> registry)
    : mainQueue_(mainQueue), registry_(std::move(registry)) {}

void MprisNowPlaying::fetch(Completion completion) {
    // Read when the answer is delivered, so a change seen in between is not missed.
    mainQueue_.post([registry = registry_, completion = std::move(completion)] {
        auto current = registry.lock();
        if (!current) {
            completion(std::nullopt);
            return;
        }
        completion(answerFrom(current->ranking()));
    });
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
