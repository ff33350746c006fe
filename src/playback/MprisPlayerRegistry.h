#pragma once

#include "playback/NowPlayingOwnerTracker.h"
#include "playback/SystemNowPlayingSnapshot.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sonavista {

// The MPRIS players on the session bus, kept current by signals: NameOwnerChanged adds and
// drops players, each player's PropertiesChanged updates its status, metadata address and
// volume, and asynchronous reads fill in what a new player already has (its properties,
// Identity, DesktopEntry and owning process). Nothing here ever blocks: readers get the state
// as last learned. Every change is told to the change listeners, which is what lets detection
// react at once instead of at its next timed pass.
//
// Lives on the Qt main thread; create it there and read it there.
class MprisPlayerRegistry final : public QObject {
    Q_OBJECT

public:
    // One player as last learned.
    struct Player {
        std::string busName;
        std::int32_t processIdentifier = 0;  // 0 until the bus has answered
        std::string identity;
        std::string desktopEntry;
        std::optional<std::string> playbackStatus;  // absent until read
        std::optional<std::string> url;
        std::optional<double> volume;
        bool accessDenied = false;  // the player refused to show its properties
    };

    // Subscribes and lists the players already there; nothing when the bus is not connected.
    static std::shared_ptr<MprisPlayerRegistry> create(QDBusConnection bus = QDBusConnection::sessionBus());
    ~MprisPlayerRegistry() override;

    // Called on the main thread after every change, in the order added.
    void addChangeListener(std::function<void()> listener);
    // Called when a player's bus name is released, with the process that held it as far as
    // it was learned (0 if not), before the change listeners. The process may still be
    // running: players leave the bus while they shut down.
    void addDepartureListener(std::function<void(std::int32_t processIdentifier)> listener);
    // Whether the players that were on the bus at creation have all been read (or failed to
    // answer). `whenReady` runs its callback once that holds, at once if it already does.
    bool isReady() const { return ready_; }
    void whenReady(std::function<void()> callback);

    std::vector<Player> players() const;
    // The playing and paused players, the owner of playback first (see NowPlayingOwnerTracker).
    std::vector<NowPlayingPlayer> ranking() const;

private slots:
    void nameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    void propertiesChanged(const QDBusMessage& message);

private:
    struct Entry {
        Player player;
        QString owner;             // the unique connection name that signals come from
        std::uint64_t generation;  // replies to an earlier owner's reads are ignored
    };

    explicit MprisPlayerRegistry(QDBusConnection bus);
    void subscribe();
    void addPlayer(const QString& name, const QString& owner);
    void readPlayer(const QString& name);
    void applyPlayerProperties(Entry& entry, const QVariantMap& properties);
    void applyRootProperties(Entry& entry, const QVariantMap& properties);
    void call(const QDBusMessage& message, std::function<void(const QDBusMessage&)> handler);
    void changed();

    QDBusConnection bus_;
    std::map<QString, Entry> entries_;
    NowPlayingOwnerTracker tracker_;
    std::uint64_t nextGeneration_ = 1;
    std::vector<std::function<void()>> listeners_;
    std::vector<std::function<void(std::int32_t)>> departureListeners_;
    int startupCalls_ = 0;  // calls made before the registry was ready and not answered yet
    bool ready_ = false;
    std::vector<std::function<void()>> readyCallbacks_;
};

}  // namespace sonavista
