#include "bridge/BridgeProtocol.h"

#include "base/AsciiLowercase.h"

#include "bridge/BrowserSessionTable.h"
#include "bridge/PlaybackMessage.h"
#include "playback/MusicPlayer.h"

#include <array>
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

// Horizontal white space: tab and every Unicode space separator (category Zs), in UTF-8.
constexpr std::array<std::string_view, 18> whitespace = {
    "\t",           " ",            "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89",
    "\xE2\x80\x8A", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
};

// Trims white space from both ends of valid UTF-8 text. A match at either end is always a
// whole character because the text is valid UTF-8.
std::string_view trim(std::string_view text) {
    for (bool trimmed = true; trimmed && !text.empty();) {
        trimmed = false;
        for (const auto space : whitespace) {
            if (text.starts_with(space)) {
                text.remove_prefix(space.size());
                trimmed = true;
                break;
            }
        }
    }
    for (bool trimmed = true; trimmed && !text.empty();) {
        trimmed = false;
        for (const auto space : whitespace) {
            if (text.ends_with(space)) {
                text.remove_suffix(space.size());
                trimmed = true;
                break;
            }
        }
    }
    return text;
}

// A decimal integer: an optional sign and one or more ASCII digits, within the signed 64-bit
// range. Anything else is nothing.
std::optional<std::int64_t> parseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Accumulate as a negative number so that the minimum value fits.
    std::int64_t value = 0;
    constexpr std::int64_t minimum = std::numeric_limits<std::int64_t>::min();
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        if (value < (minimum + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == minimum) return std::nullopt;
        value = -value;
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


// The request line and headers of a header block (terminator excluded), with the declared
// body length; nothing when malformed.
std::optional<std::pair<HTTPRequest, std::uint64_t>> parseHead(std::string_view head) {
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

    HTTPRequest request;
    request.method = std::string(words[0]);
    request.path = std::string(words[1]);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto colon = lines[i].find(':');
        if (colon == std::string_view::npos) continue;
        request.headers[asciiLowercased(trim(lines[i].substr(0, colon)))] = std::string(trim(lines[i].substr(colon + 1)));
    }

    std::int64_t contentLength = 0;
    if (const auto header = request.headers.find("content-length"); header != request.headers.end()) {
        contentLength = parseInteger(header->second).value_or(0);
    }
    if (contentLength < 0) return std::nullopt;
    return std::pair{std::move(request), static_cast<std::uint64_t>(contentLength)};
}

bool hasControlCharacter(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
    return false;
}

}  // namespace

std::optional<HTTPRequest> BridgeProtocol::parseRequest(std::string_view received) {
    const auto terminator = received.find(headerTerminator);
    if (terminator == std::string_view::npos) return std::nullopt;
    auto parsed = parseHead(received.substr(0, terminator));
    if (!parsed) return std::nullopt;
    auto& [request, contentLength] = *parsed;

    const std::string_view rest = received.substr(terminator + headerTerminator.size());
    if (contentLength > rest.size()) return std::nullopt;
    request.body = std::string(rest.substr(0, static_cast<std::size_t>(contentLength)));
    return std::move(request);
}

std::optional<std::uint64_t> BridgeProtocol::requestLength(std::string_view headerBlock) {
    if (!headerBlock.ends_with(headerTerminator)) return std::nullopt;
    const auto head = headerBlock.substr(0, headerBlock.size() - headerTerminator.size());
    if (head.find(headerTerminator) != std::string_view::npos) return std::nullopt;
    const auto parsed = parseHead(head);
    if (!parsed) return std::nullopt;
    // Saturates instead of wrapping: such a request can never complete anyway.
    const std::uint64_t limit = std::numeric_limits<std::uint64_t>::max() - headerBlock.size();
    return parsed->second > limit ? std::numeric_limits<std::uint64_t>::max() : headerBlock.size() + parsed->second;
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
    if (request.method == "OPTIONS") return {std::string(noContent), origin};

    const auto connector = request.headers.find("x-sonavista-connector");
    if (request.method == "POST" && request.path == "/playback" && connector != request.headers.end() &&
        connector->second == "1") {
        const auto message = PlaybackMessage::decode(request.body);
        if (!message) return {std::string(badRequest), origin};
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
