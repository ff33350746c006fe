#pragma once

#include "bridge/HTTPRequest.h"

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace sonavista {

// One accepted bridge connection: it carries one request and gets one response. Touched only
// on the bridge thread.
struct BridgeConnection {
    enum class Phase {
        receiving,  // waiting for a complete request
        sending,    // the response is being written
        draining,   // response sent; discarding what the peer still sends before closing
        closed,
    };

    BridgeConnection(asio::ip::tcp::socket socket, std::uint64_t id)
        : socket(std::move(socket)), deadline(this->socket.get_executor()), id(id) {}

    asio::ip::tcp::socket socket;
    // Fires when the request has not arrived in time, and bounds the drain after a response.
    asio::steady_timer deadline;
    std::uint64_t id;
    Phase phase = Phase::receiving;
    std::string buffer;    // bytes received so far
    // Set once the header block has arrived and parsed: the request without its body, where the
    // body starts and how many bytes the whole request takes. Each read is then examined in
    // constant time, and the header block is never parsed again.
    std::optional<HTTPRequest> head;
    std::size_t headerBytes = 0;
    std::uint64_t requestLength = 0;
    std::string response;  // kept alive while it is written
};

}  // namespace sonavista
