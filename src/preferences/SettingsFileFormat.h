#pragma once

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
    static std::string serialize(const SettingsMap& values);
    // Nothing when the text is not a well-formed settings file; a file is taken whole or not
    // at all, so a damaged file is never half-loaded.
    static std::optional<SettingsMap> parse(std::string_view text);

    static std::string encodeKey(std::string_view key);
    static std::optional<std::string> decodeKey(std::string_view encoded);
};

}  // namespace sonavista
