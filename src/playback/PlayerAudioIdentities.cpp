#include "playback/PlayerAudioIdentities.h"

#include <algorithm>
#include <utility>

namespace sonavista {

namespace {

void addOnce(std::vector<std::string>& values, const std::optional<std::string>& value) {
    if (value && !value->empty() && std::find(values.begin(), values.end(), *value) == values.end()) {
        values.push_back(*value);
    }
}

void addApplication(PlayerAudioIdentity& identity, const RunningApplication& application) {
    if (application.processIdentifier >= 1) identity.processIdentifiers.push_back(application.processIdentifier);
    addOnce(identity.applicationIds, application.bundleIdentifier);
    addOnce(identity.binaryNames, application.localizedName);
}

}  // namespace

PlayerAudioIdentity playerAudioIdentity(std::string displayName, std::int32_t processIdentifier,
                                        const std::optional<RunningApplication>& application) {
    PlayerAudioIdentity identity;
    identity.displayName = std::move(displayName);
    if (application) {
        addApplication(identity, *application);
    } else if (processIdentifier >= 1) {
        identity.processIdentifiers.push_back(processIdentifier);
    }
    return identity;
}

PlayerAudioIdentity playerAudioIdentity(std::string displayName, const std::vector<RunningApplication>& processes) {
    PlayerAudioIdentity identity;
    identity.displayName = std::move(displayName);
    for (const RunningApplication& process : processes) addApplication(identity, process);
    return identity;
}

PlayerAudioIdentity browserAudioIdentity(std::string displayName) {
    PlayerAudioIdentity identity;
    identity.displayName = std::move(displayName);
    // Executable names of the browsers, where they differ from the launcher's name.
    identity.binaryNames = {"firefox",  "firefox-esr", "firefox-bin", "librewolf", "waterfox", "chromium",
                            "chrome",   "brave",       "vivaldi-bin", "opera",     "msedge",   "epiphany",
                            "falkon",   "midori",      "qutebrowser", "QtWebEngineProcess"};
    return identity;
}

}  // namespace sonavista
