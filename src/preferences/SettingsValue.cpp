#include "preferences/SettingsValue.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace sonavista {
namespace {

bool stringBoolValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) {
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    while (i < text.size() && text[i] == '0') {
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    const char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace

bool settingsBoolValue(const SettingsValue& value) {
    if (const bool* b = std::get_if<bool>(&value)) {
        return *b;
    }
    if (const double* number = std::get_if<double>(&value)) {
        return *number != 0.0;
    }
    if (const std::string* text = std::get_if<std::string>(&value)) {
        return stringBoolValue(*text);
    }
    return false;
}

std::optional<double> settingsNumberValue(const SettingsValue& value) {
    if (const double* number = std::get_if<double>(&value)) return *number;
    const std::string* text = std::get_if<std::string>(&value);
    if (text == nullptr) return std::nullopt;
    double number = 0;
    const char* end = text->data() + text->size();
    const auto [last, error] = std::from_chars(text->data(), end, number);
    if (error != std::errc{} || last != end || !std::isfinite(number)) return std::nullopt;
    return number;
}

std::optional<std::string> settingsStringValue(const SettingsValue& value) {
    if (const std::string* text = std::get_if<std::string>(&value)) {
        return *text;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> settingsStringArrayValue(const SettingsValue& value) {
    if (const auto* array = std::get_if<std::vector<std::string>>(&value)) {
        return *array;
    }
    return std::nullopt;
}

}  // namespace sonavista
