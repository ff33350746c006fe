#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sonavista {

// One playback stream of the sound server, as far as finding a player's streams needs it:
// the properties the playing program's sound library set on it.
struct SinkInputInfo {
    std::uint32_t index = 0;                  // the server's id of the stream
    std::uint32_t sinkIndex = 0;              // the output it plays into
    std::optional<std::int32_t> processId;    // "application.process.id"; namespaced in a sandbox
    std::string processBinary;                // "application.process.binary"
    std::string applicationName;              // "application.name"
    std::string applicationId;                // Flatpak/Snap id: "application.id" or the portal's app id

    friend bool operator==(const SinkInputInfo&, const SinkInputInfo&) = default;
};

}  // namespace sonavista
