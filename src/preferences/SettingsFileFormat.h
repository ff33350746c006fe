#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "preferences/SettingsValue.h"

namespace sonavista {

// The text form of the settings file: an INI file whose values are written as JSON so that
// their types survive a round trip (true, "text", ["a"], []). Keys are percent-encoded where
// they contain anything but letters, digits, '_', '.' and '-'.
//
//   [General]
//   enabledMusicPlayers=["spotify"]
//   overlayEnabled=false
//   waveColor="cyan"
class SettingsFileFormat {
public:
    // What a file's text holds: the value of every line that could be read, and how many lines
    // could not (a line is read or dropped on its own, so one bad line costs nothing else).
    struct Parsed {
        SettingsMap values;
        std::size_t droppedLines = 0;
        friend bool operator==(const Parsed&, const Parsed&) = default;
    };

    static std::string serialize(const SettingsMap& values);
    static Parsed parse(std::string_view text);

    static std::string encodeKey(std::string_view key);
    static std::optional<std::string> decodeKey(std::string_view encoded);
};

}  // namespace sonavista
