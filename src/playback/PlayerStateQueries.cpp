#include "playback/PlayerStateQueries.h"

#include <cmath>
#include <utility>

namespace sonavista {

namespace {

double clampUnit(double value) {
    // NaN compares false both ways and so lands on 0.0 with the non-positive values.
    if (!(value > 0.0)) {
        return 0.0;
    }
    return value > 1.0 ? 1.0 : value;
}

}  // namespace

PlayerStateQueries::PlayerStateQueries(std::shared_ptr<PlayerScriptQuery> scriptQuery,
                                       std::shared_ptr<OutputVolume> outputVolume)
    : scriptQuery_(std::move(scriptQuery)), outputVolume_(std::move(outputVolume)) {}

MusicPlaybackSnapshot PlayerStateQueries::scriptSnapshot(MusicPlayer player) {
    if (!isScriptable(player) || !scriptQuery_) {
        return MusicPlaybackSnapshot{player, MusicPlaybackState::unknown, systemOutputVolume()};
    }
    auto reply = scriptQuery_->query(player);
    return snapshotFromReply(player, reply, systemOutputVolume());
}

double PlayerStateQueries::systemOutputVolume() {
    if (!outputVolume_) {
        return 1.0;
    }
    double volume = outputVolume_->systemOutputVolume();
    return std::isnan(volume) ? 1.0 : clampUnit(volume);
}

MusicPlaybackSnapshot PlayerStateQueries::snapshotFromReply(MusicPlayer player, const PlayerScriptReply& reply,
                                                            double systemVolume) {
    switch (reply.kind) {
        case PlayerScriptReply::Kind::refused:
            return MusicPlaybackSnapshot{player, MusicPlaybackState::permissionDenied, systemVolume};
        case PlayerScriptReply::Kind::unavailable:
            return MusicPlaybackSnapshot{player, MusicPlaybackState::unknown, systemVolume};
        case PlayerScriptReply::Kind::answer:
            break;
    }
    // Negative and not-a-number volumes have no root; clampUnit turns the NaN into silence.
    return MusicPlaybackSnapshot{player, reply.state,
                                 clampUnit(std::sqrt(reply.volumePercent / 100.0 * systemVolume))};
}

}  // namespace sonavista
