#pragma once

#include <memory>
#include <string>

#include "preferences/SettingsStore.h"
#include "preferences/SettingsValue.h"

namespace sonavista {

// The persistent settings store: a settings file, by default
// $XDG_CONFIG_HOME/Sonavista/Sonavista.conf (~/.config when XDG_CONFIG_HOME is unset). The whole
// file is read once at creation; every assignment rewrites it at once, atomically (written to a
// temporary file beside it, then renamed over it), so a crash never leaves half a file.
//
// Values are written in a typed text form (see SettingsFileFormat) because the stock INI
// encoding turns a one-element list into a string and an empty list into nothing.
//
// A file that cannot be read or parsed loads as empty (every setting at its default). Before
// the first write replaces it, it is renamed to Sonavista.conf.corrupt (or .corrupt.2, .3, ...
// if that name is taken) so the user's old file is never lost silently; if it cannot be moved
// aside, nothing is written over it.
class IniSettingsStore final : public SettingsStore {
public:
    enum class LoadOutcome {
        missing,  // no file yet
        loaded,
        corrupt,  // present but unreadable or malformed; loaded as empty
    };

    explicit IniSettingsStore(std::string filePath);

    // The settings file path for the current environment.
    static std::string defaultFilePath();
    static std::shared_ptr<IniSettingsStore> openDefault();

    const std::string& filePath() const { return filePath_; }
    LoadOutcome loadOutcome() const { return loadOutcome_; }
    // Where the damaged file was moved, once it has been (empty before).
    const std::string& preservedCorruptPath() const { return preservedCorruptPath_; }
    // Why the latest write failed to reach the file (the value is still held in memory).
    std::optional<std::string> lastWriteError() const override { return lastWriteError_; }

    bool hasObject(std::string_view key) const override;
    bool boolValue(std::string_view key) const override;
    std::optional<std::string> stringValue(std::string_view key) const override;
    std::optional<std::vector<std::string>> stringArrayValue(std::string_view key) const override;

    void setBool(std::string_view key, bool value) override;
    void setString(std::string_view key, std::string_view value) override;
    void setStringArray(std::string_view key, const std::vector<std::string>& value) override;

    // Files larger than this are not settings files of ours and count as corrupt.
    static constexpr long long maximumFileSize = 4 * 1024 * 1024;

private:
    void load();
    void store(std::string_view key, SettingsValue value);
    bool preserveCorruptFile();
    // Nothing on success, else what failed.
    std::optional<std::string> writeFile();
    const SettingsValue* find(std::string_view key) const;

    std::string filePath_;
    SettingsMap values_;
    LoadOutcome loadOutcome_ = LoadOutcome::missing;
    std::string preservedCorruptPath_;
    bool corruptFilePending_ = false;  // a damaged file is still in place and must be moved aside
    std::optional<std::string> lastWriteError_;
};

}  // namespace sonavista
