#pragma once

#include "base/MainQueue.h"
#include "playback/RunningApplications.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace sonavista {

// Keeps the last list of running applications for a while instead of scanning on every
// detection pass. The list is scanned again on the first request after `refreshInterval`
// seconds, or after `invalidate()`, which the owner calls when a player may have started or
// stopped (the session bus announced a change). Lookups of one process pass straight through:
// they are cheap and must see a process that has just started.
//
// A player leaves the bus before its process ends, often while it is still tearing down, so
// the scan that its departure triggers may still list it. `watchForExit` covers that gap: the
// process is looked up every `exitPollInterval` seconds until it is gone, and the list is then
// scanned afresh at once instead of at the next refresh.
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
    // Looks the process up every `exitPollInterval` seconds; once it is gone (or another
    // program holds its id), invalidates the list and calls `exited`. Gives up after
    // `refreshInterval` seconds, when the regular rescan has seen whatever became of it.
    void watchForExit(std::int32_t processIdentifier, std::function<void()> exited);

    static constexpr double exitPollInterval = 0.1;

private:
    struct ExitWatch {
        std::optional<RunningApplication> application;  // as it was when the watch began
        int pollsLeft = 0;
        std::function<void()> exited;
    };
    void pollExits();

    MainQueue& mainQueue_;
    std::shared_ptr<RunningApplications> source_;
    double refreshInterval_;
    std::vector<RunningApplication> applications_;
    bool current_ = false;
    MainQueue::TimerId expiry_ = 0;
    std::vector<ExitWatch> exitWatches_;
    MainQueue::TimerId exitPoll_ = 0;
};

}  // namespace sonavista
