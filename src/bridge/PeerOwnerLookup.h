#pragma once

#include <asio/ip/tcp.hpp>

#include <cstdint>
#include <optional>

namespace sonavista {

// Tells who runs the program at the other end of an accepted loopback TCP connection. Loopback
// TCP carries no peer credentials, so the bridge asks the system which user owns the peer's
// socket. Called on the bridge thread only.
class PeerOwnerLookup {
public:
    virtual ~PeerOwnerLookup() = default;
    // The user id that owns the socket whose own end is `theirs` and whose far end is `ours`;
    // nothing when the system cannot tell (the peer is gone, or no way of asking works).
    virtual std::optional<std::uint32_t> ownerOf(const asio::ip::tcp::endpoint& ours,
                                                 const asio::ip::tcp::endpoint& theirs) = 0;
};

}  // namespace sonavista
