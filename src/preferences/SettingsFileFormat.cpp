#include "preferences/SettingsFileFormat.h"

#include <nlohmann/json.hpp>

#include <utility>

namespace sonavista {
namespace {

using Json = nlohmann::json;

constexpr std::string_view header = "[General]\n";
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

bool isPlainKeyCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           c == '-';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string_view trim(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string dump(const Json& json) {
    // Replacing invalid UTF-8 keeps writing from ever throwing.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json toJson(const SettingsValue& value) {
    struct Visitor {
        Json operator()(bool b) const { return b; }
        Json operator()(double number) const { return number; }
        Json operator()(const std::string& text) const { return text; }
        Json operator()(const std::vector<std::string>& array) const { return Json(array); }
        Json operator()(const OpaqueSettingsValue&) const { return nullptr; }
    };
    return std::visit(Visitor{}, value);
}

// A value is written as one line of JSON. Opaque values are written back as they were read, so
// they are never re-encoded (and never lose precision or detail).
std::string valueText(const SettingsValue& value) {
    if (const auto* opaque = std::get_if<OpaqueSettingsValue>(&value)) {
        if (opaque->text.find_first_of("\r\n") != std::string::npos ||
            Json::parse(opaque->text, nullptr, false).is_discarded()) {
            return "null";
        }
        return opaque->text;
    }
    return dump(toJson(value));
}

// A value of another form is kept as its text, so rewriting the file does not re-encode it.
// Text with a carriage return inside (JSON whitespace, but a line break to other INI readers)
// is kept in its compact JSON form instead, so it is written back exactly as it is held.
OpaqueSettingsValue opaque(const Json& json, std::string_view text) {
    if (text.find('\r') != std::string_view::npos) {
        return OpaqueSettingsValue{dump(json)};
    }
    return OpaqueSettingsValue{std::string(text)};
}

SettingsValue fromJson(const Json& json, std::string_view text) {
    if (json.is_boolean()) {
        return json.get<bool>();
    }
    if (json.is_number()) {
        return json.get<double>();
    }
    if (json.is_string()) {
        return json.get<std::string>();
    }
    if (json.is_array()) {
        std::vector<std::string> strings;
        for (const Json& element : json) {
            if (!element.is_string()) {
                return opaque(json, text);
            }
            strings.push_back(element.get<std::string>());
        }
        return strings;
    }
    return opaque(json, text);
}

// Reads one line that is neither blank nor a comment into `values` (a section header holds
// nothing; sections are not told apart). False when the line cannot be read.
bool parseLine(std::string_view line, SettingsMap& values) {
    if (line.front() == '[') return line.back() == ']';
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    auto key = SettingsFileFormat::decodeKey(trim(line.substr(0, equals)));
    if (!key) return false;
    const std::string_view rawText = trim(line.substr(equals + 1));
    // The JSON parser stops at a NUL byte; a value with one inside is not a value.
    if (rawText.find('\0') != std::string_view::npos) return false;
    const Json json = Json::parse(rawText.begin(), rawText.end(), nullptr, false);
    if (json.is_discarded()) return false;
    values.insert_or_assign(std::move(*key), fromJson(json, rawText));
    return true;
}

}  // namespace

std::string SettingsFileFormat::encodeKey(std::string_view key) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (char c : key) {
        if (isPlainKeyCharacter(c)) {
            encoded.push_back(c);
        } else {
            const auto byte = static_cast<unsigned char>(c);
            encoded.push_back('%');
            encoded.push_back(hex[byte >> 4]);
            encoded.push_back(hex[byte & 0x0F]);
        }
    }
    return encoded;
}

std::optional<std::string> SettingsFileFormat::decodeKey(std::string_view encoded) {
    std::string key;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '%') {
            if (i + 2 >= encoded.size()) {
                return std::nullopt;
            }
            const int high = hexDigit(encoded[i + 1]);
            const int low = hexDigit(encoded[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            key.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else if (isPlainKeyCharacter(c)) {
            key.push_back(c);
        } else {
            return std::nullopt;
        }
    }
    return key;
}

std::string SettingsFileFormat::serialize(const SettingsMap& values) {
    std::string text(header);
    for (const auto& [key, value] : values) {
        text += encodeKey(key);
        text += '=';
        text += valueText(value);
        text += '\n';
    }
    return text;
}

SettingsFileFormat::Parsed SettingsFileFormat::parse(std::string_view text) {
    if (text.substr(0, byteOrderMark.size()) == byteOrderMark) {
        text.remove_prefix(byteOrderMark.size());
    }
    Parsed parsed;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (!parseLine(line, parsed.values)) ++parsed.droppedLines;
    }
    return parsed;
}

}  // namespace sonavista
