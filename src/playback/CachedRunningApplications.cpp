#include "playback/CachedRunningApplications.h"

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

}  // namespace sonavista
