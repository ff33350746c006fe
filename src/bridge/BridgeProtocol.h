#pragma once

#include "bridge/BridgeResponse.h"
#include "bridge/HTTPRequest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sonavista {

class BrowserSessionTable;

// The bridge's wire protocol: a small HTTP/1.1 subset, one request per connection, no
// response body, the connection closed after every response. Pure functions except
// `process`, which stores accepted reports in the session table.
class BridgeProtocol {
public:
    static constexpr std::string_view noContent = "204 No Content";
    static constexpr std::string_view badRequest = "400 Bad Request";
    static constexpr std::string_view forbidden = "403 Forbidden";

    // Cuts one request out of the bytes received so far. Nothing means "not complete yet"
    // and also "malformed" (non-UTF-8 head, a CR or LF outside a CRLF pair in the head, request
    // line of fewer than two words, negative Content-Length): such a request never completes.
    static std::optional<HTTPRequest> parseRequest(std::string_view received);

    // For a header block ending in the blank line ("\r\n\r\n"): how many bytes the whole
    // request takes, body included. Nothing when the header block is malformed, in which case
    // no number of further bytes completes the request. Lets a receiver wait for the body
    // without parsing the header block again after every read.
    static std::optional<std::uint64_t> requestLength(std::string_view headerBlock);

    // Requests without an Origin, with an empty one, or from a browser extension are allowed;
    // web page origins are refused.
    static bool isAllowed(const std::optional<std::string>& origin);

    // Decides the answer to a complete request and stores an accepted playback report.
    static BridgeResponse process(const HTTPRequest& request, BrowserSessionTable& sessions);

    // The exact response bytes: status line, Connection and Content-Length, the four CORS
    // lines when an allowed origin without control characters is given, then the blank line.
    static std::string responseText(std::string_view status, const std::optional<std::string>& origin);
};

}  // namespace sonavista
