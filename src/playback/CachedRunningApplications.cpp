#include "playback/CachedRunningApplications.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace sonavista {

CachedRunningApplications::CachedRunningApplications(MainQueue& mainQueue,
                                                     std::shared_ptr<RunningApplications> source,
                                                     double refreshInterval)
    : mainQueue_(mainQueue), source_(std::move(source)), refreshInterval_(refreshInterval) {}

CachedRunningApplications::~CachedRunningApplications() {
    if (expiry_ != 0) {
        mainQueue_.cancel(expiry_);
    }
    if (exitPoll_ != 0) {
        mainQueue_.cancel(exitPoll_);
    }
}

std::vector<RunningApplication> CachedRunningApplications::runningApplications() {
    if (!current_) {
        applications_ = source_->runningApplications();
        current_ = true;
        if (expiry_ != 0) {
            mainQueue_.cancel(expiry_);
        }
        expiry_ = mainQueue_.postAfter(refreshInterval_, [this] {
            expiry_ = 0;
            current_ = false;
        });
    }
    return applications_;
}

std::optional<RunningApplication> CachedRunningApplications::application(std::int32_t processIdentifier) {
    return source_->application(processIdentifier);
}

void CachedRunningApplications::invalidate() {
    current_ = false;
}

void CachedRunningApplications::watchForExit(std::int32_t processIdentifier, std::function<void()> exited) {
    if (processIdentifier < 1) {
        return;
    }
    const int polls = std::max(1, static_cast<int>(std::ceil(refreshInterval_ / exitPollInterval)));
    exitWatches_.push_back(ExitWatch{source_->application(processIdentifier), polls, std::move(exited)});
    if (exitPoll_ == 0) {
        exitPoll_ = mainQueue_.scheduleRepeating(exitPollInterval, [this] { pollExits(); });
    }
}

void CachedRunningApplications::pollExits() {
    // Taken out first: an `exited` callback may start another watch.
    auto watches = std::exchange(exitWatches_, {});
    std::vector<std::function<void()>> exited;
    for (auto& watch : watches) {
        const bool gone =
            !watch.application || source_->application(watch.application->processIdentifier) != watch.application;
        if (gone) {
            exited.push_back(std::move(watch.exited));
        } else if (--watch.pollsLeft > 0) {
            exitWatches_.push_back(std::move(watch));
        }
    }
    if (exitWatches_.empty()) {
        mainQueue_.cancel(exitPoll_);
        exitPoll_ = 0;
    }
    if (!exited.empty()) {
        invalidate();
    }
    for (auto& callback : exited) {
        if (callback) {
            callback();
        }
    }
}

}  // namespace sonavista
