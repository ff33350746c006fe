// Feeds arbitrary bytes to the settings file parser (the file is the user's to edit) and to the
// player lookup that reads process names, and checks the properties their results must have.
#include "playback/MusicPlayer.h"
#include "preferences/SettingsFileFormat.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace sonavista;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Whatever was read must be written back whole and read again unchanged.
    const auto parsed = SettingsFileFormat::parse(bytes);
    const std::string text = SettingsFileFormat::serialize(parsed.values);
    const auto again = SettingsFileFormat::parse(text);
    require(again.droppedLines == 0);
    require(again.values == parsed.values);
    require(SettingsFileFormat::serialize(again.values) == text);

    const std::string key(bytes);
    require(SettingsFileFormat::decodeKey(SettingsFileFormat::encodeKey(key)) == key);

    // Process names and ids never resolve to a web player.
    const std::size_t half = size / 2;
    if (const auto player = resolveMusicPlayer(bytes.substr(0, half), bytes.substr(half))) {
        require(!isWebPlayer(*player));
    }
    return 0;
}
