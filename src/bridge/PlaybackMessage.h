#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sonavista {

// The JSON body of a playback report: {"source", "pageId", "playing", "volume"}.
struct PlaybackMessage {
    std::string source;
    std::string pageId;
    bool playing = false;
    double volume = 0.0;

    // Strict decoding: the body must be one JSON object holding all four members with
    // exactly these types (a string, a string, true/false, a JSON number); other members
    // are ignored. Anything else yields nothing.
    static std::optional<PlaybackMessage> decode(std::string_view body);

    bool operator==(const PlaybackMessage&) const = default;
};

}  // namespace sonavista
