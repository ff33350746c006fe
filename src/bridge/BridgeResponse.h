#pragma once

#include <optional>
#include <string>

namespace sonavista {

// What the bridge answers to one request: a status text and the origin to echo in the
// CORS lines (absent: no CORS lines).
struct BridgeResponse {
    std::string status;
    std::optional<std::string> origin;

    bool operator==(const BridgeResponse&) const = default;
};

}  // namespace sonavista
