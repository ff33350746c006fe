#pragma once

#include "audio/PlayerAudioIdentity.h"
#include "playback/RunningApplication.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sonavista {

// The identity of a player's sound, from what detection learnt about the player. Pure functions.

// A player named by the now-playing service: its process (when known and running) and that
// process's executable and sandbox id.
PlayerAudioIdentity playerAudioIdentity(std::string displayName, std::int32_t processIdentifier,
                                        const std::optional<RunningApplication>& application);
// A player found among the running applications: every process of it.
PlayerAudioIdentity playerAudioIdentity(std::string displayName, const std::vector<RunningApplication>& processes);
// A web player reported by a browser extension, which does not say which browser: the
// streams of any web browser.
PlayerAudioIdentity browserAudioIdentity(std::string displayName);

}  // namespace sonavista
