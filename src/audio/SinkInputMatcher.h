#pragma once

#include "audio/PlayerAudioIdentity.h"
#include "audio/ProcessTree.h"
#include "audio/SinkInputInfo.h"

#include <cstdint>
#include <vector>

namespace sonavista {

// Picks the playback streams that belong to the playing player. A stream belongs to it when
//  - its process is one of the player's processes or descends from one (players often play
//    from a child process), or
//  - it carries one of the player's sandbox application ids, or
//  - its executable is one of the player's and its process id does not name a process of that
//    executable here: a sandbox's own process numbering, or a player known only by name (a
//    browser reported by its extension). A second, unrelated instance of the same program is
//    a process of that executable here, so it is not taken for the player.
class SinkInputMatcher {
public:
    explicit SinkInputMatcher(const ProcessTree& processes) : processes_(processes) {}

    // The indexes of the matching streams, in the order given.
    std::vector<std::uint32_t> match(const PlayerAudioIdentity& player, const std::vector<SinkInputInfo>& streams) const;
    bool belongsTo(const PlayerAudioIdentity& player, const SinkInputInfo& stream) const;

    // How many parents are followed up from a stream's process; deeper trees are not players.
    static constexpr int maximumDepth = 32;

private:
    bool descendsFromPlayer(const PlayerAudioIdentity& player, std::int32_t processIdentifier) const;

    const ProcessTree& processes_;
};

}  // namespace sonavista
