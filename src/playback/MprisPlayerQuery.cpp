#include "playback/MprisPlayerQuery.h"

#include "playback/MprisNames.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariantMap>

#include <charconv>
#include <cmath>
#include <utility>

namespace sonavista {

namespace {

using Clock = std::chrono::steady_clock;

using namespace mpris;

// A blocking call that waits no longer than what is left until `deadline`.
std::optional<QDBusMessage> callBefore(QDBusConnection& bus, const QDBusMessage& message, Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
        return std::nullopt;
    }
    return bus.call(message, QDBus::Block, static_cast<int>(left));
}

bool isTimeout(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ErrorMessage &&
           (reply.errorName() == QDBusError::errorString(QDBusError::NoReply) ||
            reply.errorName() == QDBusError::errorString(QDBusError::Timeout));
}

PlayerScriptReply failureOf(const QDBusMessage& reply) {
    if (reply.errorName() == QDBusError::errorString(QDBusError::AccessDenied)) {
        return PlayerScriptReply::failure(PlayerScriptReply::notPermittedErrorNumber);
    }
    return PlayerScriptReply::failure();
}

}  // namespace

MprisPlayerQuery::MprisPlayerQuery(std::shared_ptr<RunningApplications> runningApplications, QDBusConnection bus)
    : runningApplications_(std::move(runningApplications)), bus_(std::move(bus)) {}

std::string MprisPlayerQuery::answerText(const std::string& playbackStatus, std::optional<double> volume) {
    std::string text;
    for (char c : playbackStatus) {
        text += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (volume && std::isfinite(*volume)) {
        char digits[32];
        // Rounded to a thousandth so that 0.57 reads "57", not "56.99999999999999".
        double percent = std::round(*volume * 100.0 * 1000.0) / 1000.0;
        auto end = std::to_chars(digits, digits + sizeof digits, percent).ptr;
        text += '|';
        text.append(digits, end);
    }
    return text;
}

PlayerScriptReply MprisPlayerQuery::query(MusicPlayer player) {
    if (!bus_.isConnected() || !runningApplications_) {
        return PlayerScriptReply::failure();
    }
    auto started = Clock::now();
    auto deadline = started + budget;

    auto list = callBefore(bus_, QDBusMessage::createMethodCall(busService, busPath, busService, QStringLiteral("ListNames")),
                           deadline);
    if (!list || list->type() != QDBusMessage::ReplyMessage || list->arguments().isEmpty()) {
        return list ? failureOf(*list) : PlayerScriptReply::failure();
    }
    QString target;
    for (const auto& name : list->arguments().first().toStringList()) {
        if (!name.startsWith(mprisPrefix)) {
            continue;
        }
        auto until = hungUntil_.find(name.toStdString());
        if (until != hungUntil_.end()) {
            if (until->second > started) {
                continue;
            }
            hungUntil_.erase(until);
        }
        auto pidCall = QDBusMessage::createMethodCall(busService, busPath, busService,
                                                      QStringLiteral("GetConnectionUnixProcessID"));
        pidCall << name;
        auto pidReply = callBefore(bus_, pidCall, deadline);
        if (!pidReply) {
            return PlayerScriptReply::failure();
        }
        if (pidReply->type() != QDBusMessage::ReplyMessage || pidReply->arguments().isEmpty()) {
            continue;
        }
        auto pid = static_cast<std::int32_t>(pidReply->arguments().first().toUInt());
        auto application = runningApplications_->application(pid);
        if (application && resolveMusicPlayer(application->bundleIdentifier, application->localizedName) == player) {
            target = name;
            break;
        }
    }
    if (target.isEmpty()) {
        return PlayerScriptReply::failure();
    }

    auto getAll = QDBusMessage::createMethodCall(target, mprisPath, propertiesInterface, QStringLiteral("GetAll"));
    getAll << playerInterface;
    auto reply = callBefore(bus_, getAll, deadline);
    if (!reply || isTimeout(*reply)) {
        hungUntil_[target.toStdString()] = Clock::now() + hungPlayerPause;
        return PlayerScriptReply::failure();
    }
    if (reply->type() != QDBusMessage::ReplyMessage || reply->arguments().isEmpty()) {
        return failureOf(*reply);
    }
    auto properties = qdbus_cast<QVariantMap>(reply->arguments().first());
    auto status = properties.value(QStringLiteral("PlaybackStatus")).toString().toStdString();
    std::optional<double> volume;
    bool isNumber = false;
    double value = properties.value(QStringLiteral("Volume")).toDouble(&isNumber);
    if (isNumber) {
        volume = value;
    }
    return PlayerScriptReply::answer(answerText(status, volume));
}

}  // namespace sonavista
