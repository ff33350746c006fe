#pragma once

#include "playback/MprisPlayerRegistry.h"
#include "playback/PlayerScriptQuery.h"
#include "playback/RunningApplications.h"

#include <memory>
#include <optional>
#include <string>

namespace sonavista {

// The state query of the scriptable players over MPRIS: finds the player on the session bus
// that resolves to the asked catalogue entry (by its owning process or its bus name) and
// answers its PlaybackStatus and Volume in the shape "playing|57", from the registry's current
// state: no D-Bus call, so a hung player cannot stall the caller. A player that refused to
// show its properties is reported with the not-permitted error number; no such player, or one
// whose properties have not been read yet, carries no number.
class MprisPlayerQuery final : public PlayerScriptQuery {
public:
    MprisPlayerQuery(std::shared_ptr<MprisPlayerRegistry> registry,
                     std::shared_ptr<RunningApplications> runningApplications);

    PlayerScriptReply query(MusicPlayer player) override;

    // "Playing"/"Paused"/"Stopped" and an MPRIS volume (1.0 = full) as the answer text.
    static std::string answerText(const std::string& playbackStatus, std::optional<double> volume);

private:
    std::weak_ptr<MprisPlayerRegistry> registry_;
    std::shared_ptr<RunningApplications> runningApplications_;
};

}  // namespace sonavista
