#pragma once

#include "base/MainQueue.h"
#include "playback/RunningApplications.h"

#include <memory>
#include <vector>

namespace sonavista {

// Keeps the last list of running applications for a while instead of scanning on every
// detection pass. The list is scanned again on the first request after `refreshInterval`
// seconds, or after `invalidate()`, which the owner calls when a player may have started or
// stopped (the session bus announced a change). Lookups of one process pass straight through:
// they are cheap and must see a process that has just started.
// Main thread only; the refresh timer runs on `mainQueue`, which must outlive this object.
class CachedRunningApplications final : public RunningApplications {
public:
    CachedRunningApplications(MainQueue& mainQueue, std::shared_ptr<RunningApplications> source,
                              double refreshInterval);
    ~CachedRunningApplications() override;
    CachedRunningApplications(const CachedRunningApplications&) = delete;
    CachedRunningApplications& operator=(const CachedRunningApplications&) = delete;

    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> application(std::int32_t processIdentifier) override;
    // The next request scans again.
    void invalidate();

private:
    MainQueue& mainQueue_;
    std::shared_ptr<RunningApplications> source_;
    double refreshInterval_;
    std::vector<RunningApplication> applications_;
    bool current_ = false;
    MainQueue::TimerId expiry_ = 0;
};

}  // namespace sonavista
