#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace sonavista {

// A value found in a settings file that is none of the forms below (for example an object
// written by hand). It is kept verbatim so that rewriting the file does not lose it.
struct OpaqueSettingsValue {
    std::string text;
    friend bool operator==(const OpaqueSettingsValue&, const OpaqueSettingsValue&) = default;
};

// One stored setting. The application itself stores only booleans, strings and arrays of
// strings; numbers and opaque values come from hand-edited files.
using SettingsValue = std::variant<bool, double, std::string, std::vector<std::string>, OpaqueSettingsValue>;

using SettingsMap = std::map<std::string, SettingsValue, std::less<>>;

// Boolean reading of any stored value: booleans as stored; numbers are true when non-zero;
// strings are true when, after leading blanks, a sign and zeros, they begin with Y, y, T, t or
// a digit 1-9 ("YES", "true", "1"); arrays and opaque values are false.
bool settingsBoolValue(const SettingsValue& value);

// The string, or nothing when the value is not a string.
std::optional<std::string> settingsStringValue(const SettingsValue& value);

// A number stored as a number or as a string that is wholly one finite decimal number ("200",
// "-40", "12.5"); nothing for anything else ("12ms", "nan", booleans, arrays).
std::optional<double> settingsNumberValue(const SettingsValue& value);

// The array of strings, or nothing when the value is not one.
std::optional<std::vector<std::string>> settingsStringArrayValue(const SettingsValue& value);

}  // namespace sonavista
