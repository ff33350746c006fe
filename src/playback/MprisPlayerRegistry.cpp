#include "playback/MprisPlayerRegistry.h"

#include "playback/MprisNames.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

#include <utility>

namespace sonavista {

namespace {

using namespace mpris;

const QString rootInterface = QStringLiteral("org.mpris.MediaPlayer2");
// Replies only fill in state; a slow player delays nothing but its own entry.
constexpr int readTimeoutMs = 5000;

QVariantMap mapOf(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) {
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    }
    return value.toMap();
}

QVariant plainValue(const QVariant& value) {
    if (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>()) {
        return value.value<QDBusVariant>().variant();
    }
    return value;
}

}  // namespace

std::shared_ptr<MprisPlayerRegistry> MprisPlayerRegistry::create(QDBusConnection bus) {
    if (!bus.isConnected()) {
        return nullptr;
    }
    std::shared_ptr<MprisPlayerRegistry> registry(new MprisPlayerRegistry(std::move(bus)));
    registry->subscribe();
    return registry;
}

MprisPlayerRegistry::MprisPlayerRegistry(QDBusConnection bus) : bus_(std::move(bus)) {}

MprisPlayerRegistry::~MprisPlayerRegistry() {
    bus_.disconnect(busService, busPath, busService, QStringLiteral("NameOwnerChanged"), this,
                    SLOT(nameOwnerChanged(QString, QString, QString)));
    bus_.disconnect(QString(), mprisPath, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                    SLOT(propertiesChanged(QDBusMessage)));
}

void MprisPlayerRegistry::addChangeListener(std::function<void()> listener) {
    listeners_.push_back(std::move(listener));
}

void MprisPlayerRegistry::addDepartureListener(std::function<void(std::int32_t)> listener) {
    departureListeners_.push_back(std::move(listener));
}

void MprisPlayerRegistry::subscribe() {
    bus_.connect(busService, busPath, busService, QStringLiteral("NameOwnerChanged"), this,
                 SLOT(nameOwnerChanged(QString, QString, QString)));
    // Any sender: players are told apart by the unique name the signal comes from.
    bus_.connect(QString(), mprisPath, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                 SLOT(propertiesChanged(QDBusMessage)));
    call(QDBusMessage::createMethodCall(busService, busPath, busService, QStringLiteral("ListNames")),
         [this](const QDBusMessage& reply) {
             if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                 return;
             }
             for (const auto& name : reply.arguments().first().toStringList()) {
                 if (!name.startsWith(mprisPrefix) || entries_.contains(name)) {
                     continue;
                 }
                 auto ownerCall =
                     QDBusMessage::createMethodCall(busService, busPath, busService, QStringLiteral("GetNameOwner"));
                 ownerCall << name;
                 call(ownerCall, [this, name](const QDBusMessage& ownerReply) {
                     if (ownerReply.type() == QDBusMessage::ReplyMessage && !ownerReply.arguments().isEmpty() &&
                         !entries_.contains(name)) {
                         addPlayer(name, ownerReply.arguments().first().toString());
                     }
                 });
             }
         });
}

void MprisPlayerRegistry::nameOwnerChanged(const QString& name, const QString&, const QString& newOwner) {
    if (!name.startsWith(mprisPrefix)) {
        return;
    }
    const auto departed = entries_.find(name);
    const std::int32_t processIdentifier = departed == entries_.end() ? 0 : departed->second.player.processIdentifier;
    const bool released = departed != entries_.end() && newOwner.isEmpty();
    if (departed != entries_.end()) {
        entries_.erase(departed);
    }
    tracker_.forget(name.toStdString());
    if (!newOwner.isEmpty()) {
        addPlayer(name, newOwner);
    }
    if (released) {
        for (const auto& listener : departureListeners_) {
            listener(processIdentifier);
        }
    }
    changed();
}

void MprisPlayerRegistry::addPlayer(const QString& name, const QString& owner) {
    Entry entry{Player{}, owner, nextGeneration_++};
    entry.player.busName = name.toStdString();
    entries_[name] = std::move(entry);
    readPlayer(name);
}

void MprisPlayerRegistry::readPlayer(const QString& name) {
    const auto generation = entries_.at(name).generation;
    // Runs `apply` on the entry if it still belongs to the owner the read was made for.
    auto onEntry = [this, name, generation](std::function<void(Entry&, const QDBusMessage&)> apply) {
        return [this, name, generation, apply = std::move(apply)](const QDBusMessage& reply) {
            auto found = entries_.find(name);
            if (found == entries_.end() || found->second.generation != generation) {
                return;
            }
            apply(found->second, reply);
            changed();
        };
    };

    auto getAll = QDBusMessage::createMethodCall(name, mprisPath, propertiesInterface, QStringLiteral("GetAll"));
    getAll << playerInterface;
    call(getAll, onEntry([this](Entry& entry, const QDBusMessage& reply) {
             if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                 applyPlayerProperties(entry, mapOf(reply.arguments().first()));
             } else if (reply.errorName() == QDBusError::errorString(QDBusError::AccessDenied)) {
                 entry.player.accessDenied = true;
             }
         }));

    auto getRoot = QDBusMessage::createMethodCall(name, mprisPath, propertiesInterface, QStringLiteral("GetAll"));
    getRoot << rootInterface;
    call(getRoot, onEntry([this](Entry& entry, const QDBusMessage& reply) {
             if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                 applyRootProperties(entry, mapOf(reply.arguments().first()));
             }
         }));

    auto pidCall =
        QDBusMessage::createMethodCall(busService, busPath, busService, QStringLiteral("GetConnectionUnixProcessID"));
    pidCall << name;
    call(pidCall, onEntry([](Entry& entry, const QDBusMessage& reply) {
             if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                 entry.player.processIdentifier = static_cast<std::int32_t>(reply.arguments().first().toUInt());
             }
         }));
}

void MprisPlayerRegistry::propertiesChanged(const QDBusMessage& message) {
    const auto arguments = message.arguments();
    if (arguments.size() < 2) {
        return;
    }
    const QString interface = arguments.at(0).toString();
    const QVariantMap properties = mapOf(arguments.at(1));
    const QStringList invalidated = arguments.size() > 2 ? arguments.at(2).toStringList() : QStringList();
    bool any = false;
    for (auto& [name, entry] : entries_) {
        if (entry.owner != message.service()) {
            continue;
        }
        any = true;
        if (interface == playerInterface) {
            applyPlayerProperties(entry, properties);
        } else if (interface == rootInterface) {
            applyRootProperties(entry, properties);
        }
        if (!invalidated.isEmpty()) {
            readPlayer(name);
        }
    }
    if (any) {
        changed();
    }
}

void MprisPlayerRegistry::applyPlayerProperties(Entry& entry, const QVariantMap& properties) {
    auto& player = entry.player;
    if (auto status = properties.find(QStringLiteral("PlaybackStatus")); status != properties.end()) {
        player.playbackStatus = plainValue(*status).toString().toStdString();
        player.accessDenied = false;
        tracker_.observe(player.busName, NowPlayingOwnerTracker::statusFromText(*player.playbackStatus));
    }
    if (auto volume = properties.find(QStringLiteral("Volume")); volume != properties.end()) {
        bool isNumber = false;
        double value = plainValue(*volume).toDouble(&isNumber);
        player.volume = isNumber ? std::optional<double>(value) : std::nullopt;
    }
    if (auto metadata = properties.find(QStringLiteral("Metadata")); metadata != properties.end()) {
        const auto fields = mapOf(plainValue(*metadata));
        const auto url = plainValue(fields.value(QStringLiteral("xesam:url"))).toString();
        player.url = url.isEmpty() ? std::nullopt : std::optional<std::string>(url.toStdString());
    }
}

void MprisPlayerRegistry::applyRootProperties(Entry& entry, const QVariantMap& properties) {
    if (auto identity = properties.find(QStringLiteral("Identity")); identity != properties.end()) {
        entry.player.identity = plainValue(*identity).toString().toStdString();
    }
    if (auto desktopEntry = properties.find(QStringLiteral("DesktopEntry")); desktopEntry != properties.end()) {
        entry.player.desktopEntry = plainValue(*desktopEntry).toString().toStdString();
    }
}

void MprisPlayerRegistry::whenReady(std::function<void()> callback) {
    if (isReady()) {
        callback();
        return;
    }
    readyCallbacks_.push_back(std::move(callback));
}

void MprisPlayerRegistry::call(const QDBusMessage& message, std::function<void(const QDBusMessage&)> handler) {
    // The first listing and every read it leads to count towards readiness: each is made
    // from the reply of a counted call, before that call is uncounted.
    const bool startup = !ready_;
    if (startup) {
        ++startupCalls_;
    }
    // Parented to the registry: a reply that comes after it is gone is dropped with it.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, readTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, startup, handler = std::move(handler)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                handler(finished->reply());
                if (startup && --startupCalls_ == 0) {
                    ready_ = true;
                    for (auto& callback : std::exchange(readyCallbacks_, {})) {
                        callback();
                    }
                }
            });
}

void MprisPlayerRegistry::changed() {
    for (const auto& listener : listeners_) {
        listener();
    }
}

std::vector<MprisPlayerRegistry::Player> MprisPlayerRegistry::players() const {
    std::vector<Player> all;
    for (const auto& [name, entry] : entries_) {
        all.push_back(entry.player);
    }
    return all;
}

std::vector<NowPlayingPlayer> MprisPlayerRegistry::ranking() const {
    std::vector<NowPlayingPlayer> ranked;
    for (const auto& owner : tracker_.ranking()) {
        auto found = entries_.find(QString::fromStdString(owner.name));
        if (found == entries_.end()) {
            continue;
        }
        const auto& player = found->second.player;
        ranked.push_back(NowPlayingPlayer{player.busName, player.processIdentifier, owner.isPlaying, player.identity,
                                          player.url, player.volume});
    }
    return ranked;
}

}  // namespace sonavista
