#pragma once

#include <cstddef>
#include <memory>
#include <optional>
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
// Every line of the file that can be read is kept; a line that cannot is dropped. When lines are
// dropped, a copy of the file as it was is kept beside it first (Sonavista.conf.bak-<UTC time>,
// never over an earlier copy), and nothing is written over the file while no copy could be made.
// A file that exists but cannot be read (permissions, an I/O error, a directory in its place) is
// left as it is: the settings start from their defaults, and each write tries to read it again
// and saves only once it can, keeping the file's values under the ones assigned since.
class IniSettingsStore final : public SettingsStore {
public:
    enum class LoadOutcome {
        missing,     // no file yet
        loaded,      // every line read
        repaired,    // some lines dropped
        unreadable,  // the file is there but could not be read; nothing is written over it
    };

    explicit IniSettingsStore(std::string filePath);

    // The settings file path for the current environment.
    static std::string defaultFilePath();
    static std::shared_ptr<IniSettingsStore> openDefault();

    const std::string& filePath() const { return filePath_; }
    LoadOutcome loadOutcome() const { return loadOutcome_; }
    // Where the file as it was before lines were dropped is kept (empty when no copy was made).
    const std::string& backupPath() const { return backupPath_; }
    std::optional<std::string> loadNotice() const override { return loadNotice_; }
    // Why the latest write failed to reach the file (the value is still held in memory).
    std::optional<std::string> lastWriteError() const override { return lastWriteError_; }

    bool hasObject(std::string_view key) const override;
    bool boolValue(std::string_view key) const override;
    std::optional<std::string> stringValue(std::string_view key) const override;
    std::optional<double> numberValue(std::string_view key) const override;
    std::optional<std::vector<std::string>> stringArrayValue(std::string_view key) const override;

    void setBool(std::string_view key, bool value) override;
    void setString(std::string_view key, std::string_view value) override;
    void setStringArray(std::string_view key, const std::vector<std::string>& value) override;

    // Only this much of a file is read; what lies beyond counts as dropped lines.
    static constexpr std::size_t maximumFileSize = 4 * 1024 * 1024;

private:
    // Reads the file and takes its values under those assigned since the last read.
    void load();
    void store(std::string_view key, SettingsValue value);
    bool keepBackup();
    // Nothing on success, else what failed.
    std::optional<std::string> writeFile();
    const SettingsValue* find(std::string_view key) const;

    std::string filePath_;
    SettingsMap values_;
    SettingsMap assignedSinceRead_;  // kept only while the file cannot be read
    LoadOutcome loadOutcome_ = LoadOutcome::missing;
    std::string backupPath_;
    bool backupPending_ = false;  // lines were dropped and the file as it was is not yet copied
    std::string readError_;    // why the file could not be read
    std::string backupError_;  // why no copy of it could be kept
    std::optional<std::string> loadNotice_;
    std::optional<std::string> lastWriteError_;
};

}  // namespace sonavista
