#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "preferences/SettingsStore.h"
#include "preferences/SettingsValue.h"

namespace sonavista {

// A settings store held in memory, for tests and for running without a settings file. It
// records every write so tests can check what was written and in which order.
class MemorySettingsStore final : public SettingsStore {
public:
    struct Write {
        std::string key;
        SettingsValue value;
        friend bool operator==(const Write&, const Write&) = default;
    };

    MemorySettingsStore() = default;
    explicit MemorySettingsStore(SettingsMap values);

    bool hasObject(std::string_view key) const override;
    bool boolValue(std::string_view key) const override;
    std::optional<std::string> stringValue(std::string_view key) const override;
    std::optional<double> numberValue(std::string_view key) const override;
    std::optional<std::vector<std::string>> stringArrayValue(std::string_view key) const override;

    void setBool(std::string_view key, bool value) override;
    void setString(std::string_view key, std::string_view value) override;
    void setStringArray(std::string_view key, const std::vector<std::string>& value) override;

    // Everything stored, and every write made through the store's setters since creation
    // (or since clearWrites), oldest first.
    const SettingsMap& values() const { return values_; }
    const std::vector<Write>& writes() const { return writes_; }
    void clearWrites() { writes_.clear(); }

    // Lets tests stand in for a disk that refuses writes: every write after this reports
    // `error` (nothing: writes succeed again).
    void setWriteError(std::optional<std::string> error) { writeError_ = std::move(error); }
    std::optional<std::string> lastWriteError() const override { return lastWriteError_; }
    // Lets tests stand in for a file that was not read whole.
    void setLoadNotice(std::optional<std::string> notice) { loadNotice_ = std::move(notice); }
    std::optional<std::string> loadNotice() const override { return loadNotice_; }

private:
    void store(std::string_view key, SettingsValue value);
    const SettingsValue* find(std::string_view key) const;

    SettingsMap values_;
    std::vector<Write> writes_;
    std::optional<std::string> writeError_;
    std::optional<std::string> lastWriteError_;
    std::optional<std::string> loadNotice_;
};

}  // namespace sonavista
