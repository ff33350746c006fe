#pragma once

#include "base/MainQueue.h"
#include "playback/NowPlayingOwnerTracker.h"
#include "playback/SystemNowPlayingProvider.h"

#include <QDBusConnection>

#include <memory>

namespace sonavista {

// The now-playing service over MPRIS on the session bus. Each fetch lists the
// org.mpris.MediaPlayer2.* names, reads every player's PlaybackStatus, picks the owner of
// playback (see NowPlayingOwnerTracker) and asks the bus for the owner's process id. All calls
// are asynchronous and their replies arrive on the Qt main thread, which is the main queue.
// With no player on the bus the answer is process 0 at once.
class MprisNowPlaying final : public SystemNowPlayingProvider, public std::enable_shared_from_this<MprisNowPlaying> {
public:
    // Nothing when the session bus cannot be reached.
    static std::shared_ptr<MprisNowPlaying> create(MainQueue& mainQueue,
                                                   QDBusConnection bus = QDBusConnection::sessionBus());

    void fetch(Completion completion) override;

private:
    MprisNowPlaying(MainQueue& mainQueue, QDBusConnection bus);
    struct Sweep;

    void readStatuses(const std::shared_ptr<Sweep>& sweep, const QStringList& names);
    void finishSweep(const std::shared_ptr<Sweep>& sweep);

    MainQueue& mainQueue_;
    QDBusConnection bus_;
    NowPlayingOwnerTracker tracker_;
};

}  // namespace sonavista
