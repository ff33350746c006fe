#include "playback/MprisPlayerQuery.h"

#include "playback/MprisPlayerIdentity.h"

#include <charconv>
#include <cmath>
#include <utility>

namespace sonavista {

MprisPlayerQuery::MprisPlayerQuery(std::shared_ptr<MprisPlayerRegistry> registry,
                                   std::shared_ptr<RunningApplications> runningApplications)
    : registry_(std::move(registry)), runningApplications_(std::move(runningApplications)) {}

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
    auto registry = registry_.lock();
    if (!registry) {
        return PlayerScriptReply::failure();
    }
    for (const auto& candidate : registry->players()) {
        std::optional<RunningApplication> application;
        if (candidate.processIdentifier >= 1 && runningApplications_) {
            application = runningApplications_->application(candidate.processIdentifier);
        }
        auto resolution = resolveMprisPlayer(candidate.busName, application, std::nullopt);
        if (!resolution || resolution->player != player) {
            continue;
        }
        if (candidate.accessDenied) {
            return PlayerScriptReply::failure(PlayerScriptReply::notPermittedErrorNumber);
        }
        if (!candidate.playbackStatus) {
            return PlayerScriptReply::failure();
        }
        return PlayerScriptReply::answer(answerText(*candidate.playbackStatus, candidate.volume));
    }
    return PlayerScriptReply::failure();
}

}  // namespace sonavista
