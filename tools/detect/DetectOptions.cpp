#include "DetectOptions.h"

#include "playback/MprisPlayerIdentity.h"

#include <charconv>
#include <cstdio>
#include <string_view>

namespace sonavista {

namespace {

bool parseEnabled(std::string_view list, DetectOptions& options, std::string& error) {
    auto& enabled = options.enabled;
    enabled.clear();
    options.enabledOtherPlayers.emplace();
    while (!list.empty()) {
        auto comma = list.find(',');
        auto name = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (name.empty()) {
            continue;
        }
        if (name.starts_with(otherPlayerPrefix)) {
            auto stem = otherPlayerStemFromRawValue(name);
            if (!stem) {
                error = "malformed player \"" + std::string(name) +
                        "\" (mpris: must be followed by a bus name stem of letters, digits, '_' or '-')";
                return false;
            }
            options.enabledOtherPlayers->insert(*stem);
            continue;
        }
        auto player = musicPlayerFromRawValue(name);
        if (!player) {
            error = "unknown player \"" + std::string(name) +
                    "\" (known: appleMusic, qqMusic, netEaseMusic, spotify, spotifyWeb, youtube, qqMusicWeb, "
                    "mpris:<stem>)";
            return false;
        }
        enabled.insert(*player);
    }
    return true;
}

}  // namespace

bool DetectOptions::parse(const std::vector<std::string>& arguments, DetectOptions& options, std::string& error) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        std::string_view value;
        bool hasValue = false;
        if (auto equals = argument.find('='); argument.starts_with("--") && equals != std::string_view::npos) {
            value = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue) {
                return true;
            }
            if (i + 1 >= arguments.size()) {
                error = "option " + std::string(argument) + " needs a value";
                return false;
            }
            value = arguments[++i];
            return true;
        };
        if (argument == "--enabled") {
            if (!takeValue() || !parseEnabled(value, options, error)) {
                return false;
            }
        } else if (argument == "--bridge-port") {
            if (!takeValue()) {
                return false;
            }
            unsigned port = 0;
            auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), port);
            if (failure != std::errc() || end != value.data() + value.size() || port == 0 || port > 65535) {
                error = "bad port \"" + std::string(value) + "\"";
                return false;
            }
            options.bridgePort = static_cast<std::uint16_t>(port);
        } else if (argument == "--no-bridge" && !hasValue) {
            options.useBridge = false;
        } else if ((argument == "--help" || argument == "-h") && !hasValue) {
            options.showHelp = true;
        } else {
            error = "unknown option \"" + arguments[i] + "\"";
            return false;
        }
    }
    return true;
}

std::string DetectOptions::usage() {
    return "Usage: sonavista-detect [--enabled LIST] [--no-bridge] [--bridge-port PORT]\n"
           "Prints every playback snapshot as one JSON line until interrupted.\n"
           "  --enabled LIST      comma-separated players to detect (default: all, and every\n"
           "                      other MPRIS player but a browser on another site):\n"
           "                      appleMusic, qqMusic, netEaseMusic, spotify, spotifyWeb, youtube, qqMusicWeb,\n"
           "                      mpris:<stem> (an MPRIS player by its bus name, e.g. mpris:vlc)\n"
           "  --no-bridge         do not listen for browser reports\n"
           "  --bridge-port PORT  port for browser reports (default 43828)\n";
}

std::string_view stateCaseName(MusicPlaybackState state) {
    switch (state) {
        case MusicPlaybackState::notRunning: return "notRunning";
        case MusicPlaybackState::playing: return "playing";
        case MusicPlaybackState::paused: return "paused";
        case MusicPlaybackState::stopped: return "stopped";
        case MusicPlaybackState::permissionDenied: return "permissionDenied";
        case MusicPlaybackState::unknown: return "unknown";
    }
    return "unknown";
}

namespace {

std::string jsonString(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

}  // namespace

std::string snapshotJsonLine(const MusicPlaybackSnapshot& snapshot) {
    std::string line = "{\"player\": ";
    const auto raw = snapshot.playerRawValue();
    if (raw.empty()) {
        line += "null";
    } else {
        line += jsonString(raw) + ", \"playerName\": " + jsonString(snapshot.playerDisplayName());
    }
    line += ", \"state\": \"";
    line += stateCaseName(snapshot.state);
    line += "\", \"volumeLevel\": ";
    char digits[32];
    auto end = std::to_chars(digits, digits + sizeof digits, snapshot.volumeLevel).ptr;
    std::string_view number(digits, static_cast<std::size_t>(end - digits));
    line += number;
    // Keep it a JSON number with a fraction part, as 0.0 and 1.0 would otherwise print as 0 and 1.
    if (number.find_first_of(".e") == std::string_view::npos) {
        line += ".0";
    }
    line += "}";
    return line;
}

}  // namespace sonavista
