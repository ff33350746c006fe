#pragma once

#include "playback/MprisPlayerRegistry.h"
#include "playback/PlayerScriptQuery.h"
#include "playback/RunningApplications.h"

#include <memory>

namespace sonavista {

// The state query of the scriptable players over MPRIS: finds the player on the session bus
// that resolves to the asked catalogue entry (by its owning process or its bus name) and
// answers its PlaybackStatus and Volume from the registry's current state: no D-Bus call, so a
// hung player cannot stall the caller. A player that refused to show its properties is
// reported as refused; no such player, or one whose properties have not been read yet, as
// unavailable.
class MprisPlayerQuery final : public PlayerScriptQuery {
public:
    MprisPlayerQuery(std::shared_ptr<MprisPlayerRegistry> registry,
                     std::shared_ptr<RunningApplications> runningApplications);

    PlayerScriptReply query(MusicPlayer player) override;

private:
    std::weak_ptr<MprisPlayerRegistry> registry_;
    std::shared_ptr<RunningApplications> runningApplications_;
};

}  // namespace sonavista
