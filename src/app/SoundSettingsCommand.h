#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonavista {

// The command line that opens the desktop's sound settings on the page where recording
// (the capture of system audio) is controlled, chosen from the tools installed on `PATH`.
class SoundSettingsCommand {
public:
    // The first candidate whose program is an executable file in one of the folders of
    // `pathVariable` (a colon-separated list; empty entries and relative folders are skipped),
    // with the program replaced by its full path. Nothing when none is installed.
    static std::optional<std::vector<std::string>> find(std::string_view pathVariable);

    // What the user is told when none of the candidates is installed.
    static constexpr std::string_view missingAdvice =
        "No sound settings program is installed. Install pavucontrol (sudo apt install pavucontrol) "
        "to see and change what Sonavista records.";

    // The candidates in order of preference: program first, then its arguments.
    static const std::vector<std::vector<std::string>>& candidates();
};

}  // namespace sonavista
