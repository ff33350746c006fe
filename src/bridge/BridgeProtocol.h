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

    // A parsed header block: the request without its body, and how long the body is.
    struct Head {
        HTTPRequest request;
        std::uint64_t bodyLength = 0;
    };

    // Parses a header block that ends in the blank line ("\r\n\r\n") and holds no other. Nothing
    // when it is malformed: not UTF-8, a CR or LF outside a CRLF pair, a request line of fewer
    // than two words, or a Content-Length that is not a decimal number (digits only). A receiver
    // parses the header block once, then waits for `bodyLength` more bytes.
    static std::optional<Head> parseHead(std::string_view headerBlock);

    // Cuts one request out of the bytes received so far. Nothing means "not complete yet" and
    // also "malformed" (see `parseHead`). The receiver uses `parseHead`; this serves tests.
    static std::optional<HTTPRequest> parseRequest(std::string_view received);

    // Whether a Host header value names this computer's loopback interface: 127.0.0.1,
    // localhost (any letter case) or [::1], each with or without a port. Any other name means a
    // browser was sent here under a name of someone else's (DNS rebinding).
    static bool isLoopbackHost(std::string_view host);

    // Requests without an Origin, with an empty one, or from a browser extension are allowed;
    // web page origins are refused.
    static bool isAllowed(const std::optional<std::string>& origin);

    // Decides the answer to a complete request and stores an accepted playback report. Refused:
    // a web page's Origin (403), a Host that is not loopback (403) or none (400, as HTTP/1.1
    // requires one), a page id longer than the session table keeps (400).
    static BridgeResponse process(const HTTPRequest& request, BrowserSessionTable& sessions);

    // The exact response bytes: status line, Connection and Content-Length, the four CORS
    // lines when an allowed origin without control characters is given, then the blank line.
    static std::string responseText(std::string_view status, const std::optional<std::string>& origin);
};

}  // namespace sonavista
