#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonavista {

// A persistent key-value store of booleans, strings and arrays of strings. Reading never fails:
// a missing or differently typed value reads as nothing (or false). Writes take effect at once
// in memory; one that cannot be made persistent is reported by `lastWriteError`, and every later
// write tries again with all values. Used on the main thread only.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Whether anything at all is stored under the key.
    virtual bool hasObject(std::string_view key) const = 0;
    // Boolean reading of whatever is stored (false when nothing is); see settingsBoolValue.
    virtual bool boolValue(std::string_view key) const = 0;
    // The stored string, or nothing when none is stored or the value is not a string.
    virtual std::optional<std::string> stringValue(std::string_view key) const = 0;
    // The stored number (or string holding one, see settingsNumberValue), or nothing.
    virtual std::optional<double> numberValue(std::string_view key) const = 0;
    // The stored array of strings, or nothing when none is stored or it is not one.
    virtual std::optional<std::vector<std::string>> stringArrayValue(std::string_view key) const = 0;

    virtual void setBool(std::string_view key, bool value) = 0;
    virtual void setString(std::string_view key, std::string_view value) = 0;
    virtual void setStringArray(std::string_view key, const std::vector<std::string>& value) = 0;

    // Why the latest write did not reach persistent storage, as a sentence naming the place;
    // nothing when it did.
    virtual std::optional<std::string> lastWriteError() const = 0;
    // What the user should know about how the stored settings were read (lines that could not
    // be read, a copy kept, a file left alone), as sentences; nothing when all was read.
    virtual std::optional<std::string> loadNotice() const { return std::nullopt; }
};

}  // namespace sonavista
