#include "playback/PlayerStateQueries.h"

#include <charconv>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace sonavista {

namespace {

std::vector<std::string_view> splitAtBars(std::string_view text) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (true) {
        auto bar = text.find('|', start);
        if (bar == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
}

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
    if (reply.kind == PlayerScriptReply::Kind::failure) {
        bool refused = reply.errorNumber && (*reply.errorNumber == PlayerScriptReply::notPermittedErrorNumber ||
                                             *reply.errorNumber == PlayerScriptReply::notAuthorizedErrorNumber);
        return MusicPlaybackSnapshot{
            player, refused ? MusicPlaybackState::permissionDenied : MusicPlaybackState::unknown, systemVolume};
    }
    // A result without text has no pieces at all; an empty text is one empty piece.
    std::vector<std::string_view> pieces;
    if (reply.text) {
        pieces = splitAtBars(*reply.text);
    }
    auto state = pieces.empty() ? MusicPlaybackState::unknown : stateFromWord(pieces[0]);
    double playerVolume = pieces.size() < 2 ? 100.0 : playerVolumeFromPiece(pieces[1]);
    // Negative and not-a-number volumes have no meaningful root; they count as silence.
    double volumeLevel = clampUnit(std::sqrt(playerVolume / 100.0 * systemVolume));
    if (std::isnan(playerVolume) || playerVolume < 0.0) {
        volumeLevel = 0.0;
    }
    return MusicPlaybackSnapshot{player, state, volumeLevel};
}

MusicPlaybackState PlayerStateQueries::stateFromWord(std::string_view word) {
    // Lower-casing ASCII letters is enough: no other character lower-cases to the letters
    // of the three state words.
    std::string lower(word);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
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

double PlayerStateQueries::playerVolumeFromPiece(std::string_view piece) {
    if (piece.starts_with('+')) {
        piece.remove_prefix(1);
        if (piece.starts_with('-') || piece.starts_with('+')) {
            return 100.0;
        }
    }
    double value = 0.0;
    auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (error != std::errc() || end != piece.data() + piece.size() || piece.empty()) {
        return 100.0;
    }
    return value;
}

}  // namespace sonavista
