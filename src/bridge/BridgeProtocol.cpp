#include "bridge/BridgeProtocol.h"

#include "base/AsciiLowercase.h"

#include "bridge/BrowserSessionTable.h"
#include "bridge/PlaybackMessage.h"
#include "playback/MusicPlayer.h"

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace sonavista {
namespace {

constexpr std::string_view headerTerminator = "\r\n\r\n";

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (size - i < length) return false;
        if (bytes[i + 1] < low || bytes[i + 1] > high) return false;
        for (std::size_t k = 2; k < length; ++k) {
            if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF) return false;
        }
        i += length;
    }
    return true;
}

// Trims the optional white space HTTP allows around a header value: spaces and tabs only.
std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A Content-Length value: one or more ASCII digits (no sign), within 64 bits. Anything else is
// nothing.
std::optional<std::uint64_t> parseLength(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    constexpr std::uint64_t maximum = std::numeric_limits<std::uint64_t>::max();
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (maximum - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const auto at = text.find(separator);
        if (at == std::string_view::npos) {
            pieces.push_back(text);
            return pieces;
        }
        pieces.push_back(text.substr(0, at));
        text.remove_prefix(at + separator.size());
    }
}


bool hasControlCharacter(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
    return false;
}

}  // namespace

std::optional<BridgeProtocol::Head> BridgeProtocol::parseHead(std::string_view headerBlock) {
    if (!headerBlock.ends_with(headerTerminator)) return std::nullopt;
    const auto head = headerBlock.substr(0, headerBlock.size() - headerTerminator.size());
    if (head.find(headerTerminator) != std::string_view::npos) return std::nullopt;
    if (!isValidUtf8(head)) return std::nullopt;

    const auto lines = split(head, "\r\n");
    // A CR or LF that is not part of a CRLF pair would let a header value carry a line of its
    // own into anything that repeats it.
    for (const auto line : lines) {
        if (line.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
    }
    std::vector<std::string_view> words;
    for (const auto word : split(lines.front(), " ")) {
        if (!word.empty()) words.push_back(word);
    }
    if (words.size() < 2) return std::nullopt;

    Head parsed;
    parsed.request.method = std::string(words[0]);
    parsed.request.path = std::string(words[1]);
    auto& headers = parsed.request.headers;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto colon = lines[i].find(':');
        if (colon == std::string_view::npos) continue;
        headers[asciiLowercased(trim(lines[i].substr(0, colon)))] = std::string(trim(lines[i].substr(colon + 1)));
    }
    if (const auto header = headers.find("content-length"); header != headers.end()) {
        const auto length = parseLength(header->second);
        if (!length) return std::nullopt;
        parsed.bodyLength = *length;
    }
    return parsed;
}

std::optional<HTTPRequest> BridgeProtocol::parseRequest(std::string_view received) {
    const auto terminator = received.find(headerTerminator);
    if (terminator == std::string_view::npos) return std::nullopt;
    const auto headerSize = terminator + headerTerminator.size();
    auto head = parseHead(received.substr(0, headerSize));
    if (!head || head->bodyLength > received.size() - headerSize) return std::nullopt;
    head->request.body = std::string(received.substr(headerSize, static_cast<std::size_t>(head->bodyLength)));
    return std::move(head->request);
}

bool BridgeProtocol::isLoopbackHost(std::string_view host) {
    // The port, if any: a colon after the name and one to five digits.
    const auto closing = host.rfind(']');
    const auto colon = host.rfind(':');
    if (colon != std::string_view::npos && (closing == std::string_view::npos || colon > closing)) {
        const auto port = host.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) {
            return false;
        }
        host = host.substr(0, colon);
    }
    return host == "127.0.0.1" || host == "[::1]" || asciiLowercased(host) == "localhost";
}

bool BridgeProtocol::isAllowed(const std::optional<std::string>& origin) {
    if (!origin || origin->empty()) return true;
    for (const std::string_view prefix : {"chrome-extension://", "moz-extension://", "safari-web-extension://"}) {
        if (origin->starts_with(prefix)) return true;
    }
    return false;
}

BridgeResponse BridgeProtocol::process(const HTTPRequest& request, BrowserSessionTable& sessions) {
    std::optional<std::string> origin;
    if (const auto header = request.headers.find("origin"); header != request.headers.end()) {
        origin = header->second;
    }
    if (!isAllowed(origin)) return {std::string(forbidden), std::nullopt};
    // An origin is echoed in a response line, so one with a control character is never used.
    if (origin && hasControlCharacter(*origin)) return {std::string(badRequest), std::nullopt};
    // Browsers always send Host, so a page that reached us under a name it controls (DNS
    // rebinding) shows here even where a browser left out the Origin.
    const auto host = request.headers.find("host");
    if (host == request.headers.end()) return {std::string(badRequest), std::nullopt};
    if (!isLoopbackHost(host->second)) return {std::string(forbidden), std::nullopt};
    if (request.method == "OPTIONS") return {std::string(noContent), origin};

    const auto connector = request.headers.find("x-sonavista-connector");
    if (request.method == "POST" && request.path == "/playback" && connector != request.headers.end() &&
        connector->second == "1") {
        const auto message = PlaybackMessage::decode(request.body);
        if (!message || message->pageId.size() > BrowserSessionTable::maximumPageIdBytes) {
            return {std::string(badRequest), origin};
        }
        const auto player = browserPlayer(message->source);
        if (!player) return {std::string(badRequest), origin};
        // Written so that anything not above 0 (NaN cannot come from JSON) gives 0.
        const double volume = message->volume > 1.0 ? 1.0 : (message->volume > 0.0 ? message->volume : 0.0);
        sessions.store(message->pageId, *player, message->playing, volume);
        return {std::string(noContent), origin};
    }
    return {std::string(badRequest), origin};
}

std::string BridgeProtocol::responseText(std::string_view status, const std::optional<std::string>& origin) {
    std::string text;
    text.reserve(256);
    text.append("HTTP/1.1 ").append(status).append("\r\n");
    text.append("Connection: close\r\n");
    text.append("Content-Length: 0\r\n");
    if (origin && isAllowed(origin) && !hasControlCharacter(*origin)) {
        text.append("Access-Control-Allow-Origin: ").append(*origin).append("\r\n");
        text.append("Access-Control-Allow-Methods: POST, OPTIONS\r\n");
        text.append("Access-Control-Allow-Headers: Content-Type, X-Sonavista-Connector\r\n");
        text.append("Vary: Origin\r\n");
    }
    text.append("\r\n");
    return text;
}

}  // namespace sonavista
