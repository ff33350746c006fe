#include "audio/SinkInputMatcher.h"

#include <algorithm>

namespace sonavista {

namespace {

template <typename T>
bool contains(const std::vector<T>& values, const T& value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

}  // namespace

std::vector<std::uint32_t> SinkInputMatcher::match(const PlayerAudioIdentity& player,
                                                   const std::vector<SinkInputInfo>& streams) const {
    std::vector<std::uint32_t> matched;
    if (player.empty()) return matched;
    for (const SinkInputInfo& stream : streams) {
        if (belongsTo(player, stream)) matched.push_back(stream.index);
    }
    return matched;
}

bool SinkInputMatcher::belongsTo(const PlayerAudioIdentity& player, const SinkInputInfo& stream) const {
    if (stream.processId && *stream.processId > 0 && descendsFromPlayer(player, *stream.processId)) return true;
    if (!stream.applicationId.empty() && contains(player.applicationIds, stream.applicationId)) return true;
    if (stream.processBinary.empty() || !contains(player.binaryNames, stream.processBinary)) return false;
    if (player.processIdentifiers.empty() || !stream.processId || *stream.processId <= 0) return true;
    // Same executable: the player's own only when its process id is not a process of that
    // executable here (it then counts in a sandbox's numbering).
    return processes_.executableName(*stream.processId) != stream.processBinary;
}

bool SinkInputMatcher::descendsFromPlayer(const PlayerAudioIdentity& player, std::int32_t processIdentifier) const {
    std::int32_t current = processIdentifier;
    for (int depth = 0; depth < maximumDepth && current > 1; ++depth) {
        if (contains(player.processIdentifiers, current)) return true;
        const auto parent = processes_.parentOf(current);
        if (!parent || *parent == current) return false;
        current = *parent;
    }
    return false;
}

}  // namespace sonavista
