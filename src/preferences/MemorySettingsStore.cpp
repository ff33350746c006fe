#include "preferences/MemorySettingsStore.h"

#include <utility>

namespace sonavista {

MemorySettingsStore::MemorySettingsStore(SettingsMap values) : values_(std::move(values)) {}

const SettingsValue* MemorySettingsStore::find(std::string_view key) const {
    const auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
}

bool MemorySettingsStore::hasObject(std::string_view key) const {
    return find(key) != nullptr;
}

bool MemorySettingsStore::boolValue(std::string_view key) const {
    const SettingsValue* value = find(key);
    return value != nullptr && settingsBoolValue(*value);
}

std::optional<std::string> MemorySettingsStore::stringValue(std::string_view key) const {
    const SettingsValue* value = find(key);
    return value ? settingsStringValue(*value) : std::nullopt;
}

std::optional<double> MemorySettingsStore::numberValue(std::string_view key) const {
    const SettingsValue* value = find(key);
    return value ? settingsNumberValue(*value) : std::nullopt;
}

std::optional<std::vector<std::string>> MemorySettingsStore::stringArrayValue(std::string_view key) const {
    const SettingsValue* value = find(key);
    return value ? settingsStringArrayValue(*value) : std::nullopt;
}

void MemorySettingsStore::setBool(std::string_view key, bool value) {
    store(key, value);
}

void MemorySettingsStore::setString(std::string_view key, std::string_view value) {
    store(key, std::string(value));
}

void MemorySettingsStore::setStringArray(std::string_view key, const std::vector<std::string>& value) {
    store(key, value);
}

void MemorySettingsStore::store(std::string_view key, SettingsValue value) {
    writes_.push_back(Write{std::string(key), value});
    values_.insert_or_assign(std::string(key), std::move(value));
    lastWriteError_ = writeError_;
}

}  // namespace sonavista
