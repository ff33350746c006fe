#include "playback/MprisNowPlaying.h"

#include "playback/MprisNames.h"
#include "playback/SystemNowPlayingRequest.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <functional>
#include <map>
#include <string>
#include <utility>

namespace sonavista {

namespace {

using namespace mpris;
// Each call must answer well inside the request's own 0.35 s limit.
constexpr int callTimeoutMs = 300;

void whenFinished(QDBusConnection& bus, const QDBusMessage& message,
                  std::function<void(const QDBusMessage& reply)> handler) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, callTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [handler = std::move(handler)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         handler(finished->reply());
                     });
}

}  // namespace

struct MprisNowPlaying::Sweep {
    std::shared_ptr<SystemNowPlayingRequest> request;
    std::map<std::string, NowPlayingOwnerTracker::Status> statuses;
    int outstanding = 0;
};

std::shared_ptr<MprisNowPlaying> MprisNowPlaying::create(MainQueue& mainQueue, QDBusConnection bus) {
    if (!bus.isConnected()) {
        return nullptr;
    }
    return std::shared_ptr<MprisNowPlaying>(new MprisNowPlaying(mainQueue, std::move(bus)));
}

MprisNowPlaying::MprisNowPlaying(MainQueue& mainQueue, QDBusConnection bus)
    : mainQueue_(mainQueue), bus_(std::move(bus)) {}

void MprisNowPlaying::fetch(Completion completion) {
    auto sweep = std::make_shared<Sweep>();
    sweep->request = SystemNowPlayingRequest::start(mainQueue_, std::move(completion));
    auto weak = weak_from_this();
    auto listNames = QDBusMessage::createMethodCall(busService, busPath, busService, QStringLiteral("ListNames"));
    whenFinished(bus_, listNames, [weak, sweep](const QDBusMessage& reply) {
        auto self = weak.lock();
        if (!self || sweep->request->isCompleted()) {
            return;
        }
        QStringList players;
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            for (const auto& name : reply.arguments().first().toStringList()) {
                if (name.startsWith(mprisPrefix)) {
                    players.append(name);
                }
            }
        } else {
            return;  // the bus did not answer: the time-out completes the request with nothing
        }
        self->readStatuses(sweep, players);
    });
}

void MprisNowPlaying::readStatuses(const std::shared_ptr<Sweep>& sweep, const QStringList& names) {
    sweep->outstanding = static_cast<int>(names.size());
    if (names.isEmpty()) {
        finishSweep(sweep);
        return;
    }
    auto weak = weak_from_this();
    for (const auto& name : names) {
        auto get = QDBusMessage::createMethodCall(name, mprisPath, propertiesInterface, QStringLiteral("Get"));
        get << playerInterface << QStringLiteral("PlaybackStatus");
        whenFinished(bus_, get, [weak, sweep, key = name.toStdString()](const QDBusMessage& reply) {
            auto status = NowPlayingOwnerTracker::Status::unknown;
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                auto value = qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
                status = NowPlayingOwnerTracker::statusFromText(value.toString().toStdString());
            }
            sweep->statuses[key] = status;
            auto self = weak.lock();
            if (--sweep->outstanding == 0 && self) {
                self->finishSweep(sweep);
            }
        });
    }
}

void MprisNowPlaying::finishSweep(const std::shared_ptr<Sweep>& sweep) {
    tracker_.observeAll(sweep->statuses);
    auto owner = tracker_.owner();
    if (!owner) {
        sweep->request->receiveProcessIdentifier(0);
        sweep->request->receiveIsPlaying(false);
        return;
    }
    if (sweep->request->isCompleted()) {
        return;
    }
    auto pidCall = QDBusMessage::createMethodCall(busService, busPath, busService,
                                                  QStringLiteral("GetConnectionUnixProcessID"));
    pidCall << QString::fromStdString(owner->name);
    whenFinished(bus_, pidCall, [sweep, isPlaying = owner->isPlaying](const QDBusMessage& reply) {
        std::int32_t pid = 0;
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            pid = static_cast<std::int32_t>(reply.arguments().first().toUInt());
        }
        sweep->request->receiveProcessIdentifier(pid);
        sweep->request->receiveIsPlaying(isPlaying);
    });
}

}  // namespace sonavista
