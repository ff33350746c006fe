#pragma once

#include "playback/PlayerScriptQuery.h"
#include "playback/RunningApplications.h"

#include <QDBusConnection>

#include <chrono>
#include <map>
#include <memory>
#include <string>

namespace sonavista {

// The state query of the scriptable players over MPRIS: finds the player on the session bus
// whose owning process resolves to the asked catalogue entry and reads its PlaybackStatus
// and Volume, answering in the shape "playing|57". An access-denied error is reported as the
// not-permitted error number; no such player or any other error carries no number.
//
// The query runs synchronously on the main thread, so the whole of it is bounded (by
// `budget`, about a quarter second): a hung player cannot freeze the interface. A player
// that let the budget run out is not asked again for `hungPlayerPause`.
class MprisPlayerQuery final : public PlayerScriptQuery {
public:
    static constexpr std::chrono::milliseconds budget{250};
    static constexpr std::chrono::seconds hungPlayerPause{5};

    MprisPlayerQuery(std::shared_ptr<RunningApplications> runningApplications,
                     QDBusConnection bus = QDBusConnection::sessionBus());

    PlayerScriptReply query(MusicPlayer player) override;

    // "Playing"/"Paused"/"Stopped" and an MPRIS volume (1.0 = full) as the answer text.
    static std::string answerText(const std::string& playbackStatus, std::optional<double> volume);

private:
    std::shared_ptr<RunningApplications> runningApplications_;
    QDBusConnection bus_;
    std::map<std::string, std::chrono::steady_clock::time_point> hungUntil_;
};

}  // namespace sonavista
