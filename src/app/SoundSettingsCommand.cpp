#include "app/SoundSettingsCommand.h"

#include <filesystem>
#include <unistd.h>

namespace sonavista {

const std::vector<std::vector<std::string>>& SoundSettingsCommand::candidates() {
    // pavucontrol's second tab lists the recording streams; the desktop settings apps open
    // their sound page.
    static const std::vector<std::vector<std::string>> list = {
        {"pavucontrol", "--tab=2"},
        {"pavucontrol-qt", "--tab=2"},
        {"gnome-control-center", "sound"},
        {"systemsettings", "kcm_pulseaudio"},
        {"xfce4-mixer"},
    };
    return list;
}

std::optional<std::vector<std::string>> SoundSettingsCommand::find(std::string_view pathVariable) {
    std::vector<std::filesystem::path> folders;
    while (true) {
        const std::size_t colon = pathVariable.find(':');
        const std::string_view folder = pathVariable.substr(0, colon);
        if (!folder.empty() && folder.front() == '/') folders.emplace_back(folder);
        if (colon == std::string_view::npos) break;
        pathVariable.remove_prefix(colon + 1);
    }
    for (const auto& candidate : candidates()) {
        for (const auto& folder : folders) {
            const std::filesystem::path program = folder / candidate.front();
            std::error_code error;
            if (std::filesystem::is_regular_file(program, error) && ::access(program.c_str(), X_OK) == 0) {
                std::vector<std::string> command = candidate;
                command.front() = program.string();
                return command;
            }
        }
    }
    return std::nullopt;
}

}  // namespace sonavista
