#include "bridge/PlaybackMessage.h"

#include <nlohmann/json.hpp>

namespace sonavista {

std::optional<PlaybackMessage> PlaybackMessage::decode(std::string_view body) {
    // No exceptions: a parse failure yields a "discarded" value.
    const auto json = nlohmann::json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded() || !json.is_object()) return std::nullopt;

    const auto source = json.find("source");
    const auto pageId = json.find("pageId");
    const auto playing = json.find("playing");
    const auto volume = json.find("volume");
    if (source == json.end() || !source->is_string()) return std::nullopt;
    if (pageId == json.end() || !pageId->is_string()) return std::nullopt;
    if (playing == json.end() || !playing->is_boolean()) return std::nullopt;
    if (volume == json.end() || !volume->is_number()) return std::nullopt;

    PlaybackMessage message;
    message.source = source->get<std::string>();
    message.pageId = pageId->get<std::string>();
    message.playing = playing->get<bool>();
    message.volume = volume->get<double>();
    return message;
}

}  // namespace sonavista
