#pragma once

#include <map>
#include <string>

namespace sonavista {

// One request cut out of the bytes a browser extension sent on a bridge connection.
struct HTTPRequest {
    // First word of the request line, case preserved.
    std::string method;
    // Second word of the request line, undecoded, query string included.
    std::string path;
    // Header names and values trimmed of spaces and tabs, names lower-cased, values in their
    // own case; the last repeat wins.
    std::map<std::string, std::string> headers;
    // Exactly Content-Length bytes following the blank line.
    std::string body;

    bool operator==(const HTTPRequest&) const = default;
};

}  // namespace sonavista
