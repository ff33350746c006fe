#pragma once

#include "app/LoginItem.h"

#include <filesystem>
#include <optional>
#include <string>

namespace sonavista {

// Launch at login through the desktop's autostart folder: the entry
// `<config home>/autostart/sonavista.desktop` exists exactly while it is enabled. The entry is
// written to a temporary file in the same folder and renamed over the old one, so a crash
// never leaves a half-written entry behind.
class XdgAutostartLoginItem final : public LoginItem {
public:
    // The argument the entry's command carries, so that a launch at login can start quietly.
    static constexpr const char* autostartArgument = "--autostart";

    // `configHome` is the folder `$XDG_CONFIG_HOME` names; `executable` is the program the
    // entry starts.
    XdgAutostartLoginItem(std::filesystem::path configHome, std::filesystem::path executable);

    // `$XDG_CONFIG_HOME` when it is set to an absolute path, else `$HOME/.config`; nothing
    // when neither is usable.
    static std::optional<std::filesystem::path> configHomeFromEnvironment();

    bool isEnabled() const override;
    std::optional<std::string> registerItem() override;
    std::optional<std::string> unregisterItem() override;

    const std::filesystem::path& entryPath() const { return entryPath_; }
    // The text of the entry that `registerItem` writes.
    std::string entryText() const;
    // The program as an `Exec` value: quoted and escaped so that any path survives.
    static std::string execValue(const std::filesystem::path& executable);

private:
    std::filesystem::path entryPath_;
    std::filesystem::path executable_;
};

}  // namespace sonavista
