#pragma once

#include "base/MainQueue.h"

#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace sonavista {

// A main queue on virtual time for tests. Nothing runs until the test drives it with
// `runPending()` or `advance(by)`. Order is deterministic: posted tasks in posting order,
// timers by due time, then by scheduling order.
class ManualMainQueue final : public MainQueue {
public:
    void post(Task task) override;
    TimerId postAfter(double delaySeconds, Task task) override;
    TimerId scheduleRepeating(double intervalSeconds, Task task) override;
    void cancel(TimerId id) override;

    // Runs posted tasks (including those they post) until none is left.
    void runPending();
    // Moves virtual time forward, firing every timer due on the way at its own time.
    void advance(double bySeconds);

    double now() const { return now_; }
    std::size_t pendingTaskCount() const;
    std::size_t timerCount() const;

private:
    struct Timer {
        double due;
        double interval;  // 0 for one-shot
        Task task;
    };
    // Key: (due time, sequence) so equal due times fire in scheduling order.
    using TimerKey = std::tuple<double, std::uint64_t>;

    TimerId addTimer(double delay, double interval, Task task);

    mutable std::mutex mutex_;
    std::vector<Task> posted_;
    std::map<TimerKey, TimerId> schedule_;
    std::map<TimerId, Timer> timers_;
    std::uint64_t nextSequence_ = 1;
    TimerId nextId_ = 1;
    double now_ = 0.0;
};

}  // namespace sonavista
