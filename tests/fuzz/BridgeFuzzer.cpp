// Feeds arbitrary bytes to the bridge's request parser and protocol, as a client on the
// loopback port could, and checks the properties every answer must have.
#include "base/FakeClock.h"
#include "bridge/BridgeProtocol.h"
#include "bridge/BrowserSessionTable.h"
#include "bridge/PlaybackMessage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

using namespace sonavista;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto clock = std::make_shared<FakeClock>(1000.0);
    BrowserSessionTable table(clock);

    // The JSON decoder on its own too, so that the fuzzer reaches it without HTTP framing.
    PlaybackMessage::decode(bytes);

    const auto request = BridgeProtocol::parseRequest(bytes);
    // The receiver's way (the header block parsed once, then the body awaited) agrees with the
    // parser on whether a request is complete.
    if (const auto end = bytes.find("\r\n\r\n"); end != std::string_view::npos) {
        const auto head = BridgeProtocol::parseHead(bytes.substr(0, end + 4));
        require(request.has_value() == (head && size - end - 4 >= head->bodyLength));
        // Header values are trimmed of spaces and tabs (only).
        for (const auto& [name, value] : head ? head->request.headers : decltype(head->request.headers){}) {
            require(value.empty() || (value.find_first_of(" \t") != 0 && value.find_last_of(" \t") != value.size() - 1));
        }
    }
    if (!request) return 0;

    // Bytes after a complete request never change it.
    const auto again = BridgeProtocol::parseRequest(std::string(bytes) + "\r\n\r\nGET / HTTP/1.1\r\n\r\n");
    require(again && *again == *request);
    require(bytes.find("\r\n\r\n") != std::string_view::npos);

    const auto response = BridgeProtocol::process(*request, table);
    require(response.status == BridgeProtocol::noContent || response.status == BridgeProtocol::badRequest ||
            response.status == BridgeProtocol::forbidden);
    const auto sessions = table.sessions();
    require(sessions.size() <= 1);
    if (!sessions.empty()) {
        require(response.status == BridgeProtocol::noContent);
        require(sessions.begin()->first.size() <= BrowserSessionTable::maximumPageIdBytes);
        require(BridgeProtocol::isLoopbackHost(request->headers.at("host")));
        const auto& session = sessions.begin()->second;
        require(session.volume >= 0.0 && session.volume <= 1.0);
        require(isWebPlayer(session.player));
        const auto snapshot = BrowserSessionTable::bestSession(table.latestSessions(), {session.player},
                                                               table.clock().now() - table.sessionLifetime());
        require(snapshot && snapshot->player == session.player);
    }

    // Every response line is one the bridge writes: the request supplies at most the text after
    // the allow-origin name, with no control character that could start a line of its own.
    static const std::string_view fixed[] = {
        "Connection: close", "Content-Length: 0", "Access-Control-Allow-Methods: POST, OPTIONS",
        "Access-Control-Allow-Headers: Content-Type, X-Sonavista-Connector", "Vary: Origin"};
    const auto text = BridgeProtocol::responseText(response.status, response.origin);
    require(text.starts_with("HTTP/1.1 " + response.status + "\r\n"));
    for (std::string_view rest = text; !rest.empty();) {
        const auto end = rest.find("\r\n");
        require(end != std::string_view::npos);
        const auto line = rest.substr(0, end);
        rest.remove_prefix(end + 2);
        require(line.empty() == rest.empty());  // the blank line comes last, and only there
        require(std::none_of(line.begin(), line.end(), [](char c) { return c >= 0 && c < 0x20; }) &&
                line.find('\x7F') == std::string_view::npos);
        require(line.empty() || line.starts_with("HTTP/1.1 ") || line.starts_with("Access-Control-Allow-Origin: ") ||
                std::find(std::begin(fixed), std::end(fixed), line) != std::end(fixed));
    }
    return 0;
}
