#pragma once

#include "base/Clock.h"
#include "base/MainQueue.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace sonavista {

// A main queue (and clock) on virtual time: nothing runs until `runPending()` or `advance(by)`.
// Posted tasks run in posting order, timers by due time, then scheduling order. Only `post`
// may come from another thread; timers belong to the thread that drives the queue.
class ManualMainQueue final : public MainQueue, public Clock {
public:
    void post(Task task) override {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
    }
    TimerId postAfter(double delaySeconds, Task task) override { return addTimer(delaySeconds, 0.0, std::move(task)); }
    TimerId scheduleRepeating(double intervalSeconds, Task task) override {
        return addTimer(intervalSeconds, std::max(intervalSeconds, 1e-9), std::move(task));
    }
    void cancel(TimerId id) override { timers_.erase(id); }

    // Runs posted tasks (including those they post) until none is left.
    void runPending() {
        for (;;) {
            std::vector<Task> batch;
            {
                std::lock_guard lock(mutex_);
                if (posted_.empty()) return;
                batch.swap(posted_);
            }
            for (auto& task : batch) task();
        }
    }

    // Moves virtual time forward, firing every timer due on the way at its own time.
    void advance(double bySeconds) {
        runPending();
        const double target = now_ + std::max(bySeconds, 0.0);
        for (;;) {
            const auto next = std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
                return std::pair(a.second.due, a.second.order) < std::pair(b.second.due, b.second.order);
            });
            if (next == timers_.end() || next->second.due > target) break;
            now_ = next->second.due;
            const Task task = next->second.task;
            if (next->second.interval > 0) {
                next->second.due += next->second.interval;
                next->second.order = nextOrder_++;
            } else {
                timers_.erase(next);
            }
            task();
            runPending();
        }
        now_ = target;
    }

    double now() const override { return now_; }
    std::size_t timerCount() const { return timers_.size(); }

private:
    struct Timer {
        double due;
        std::uint64_t order;  // breaks ties between equal due times: earlier scheduled first
        double interval;      // 0 for one-shot
        Task task;
    };

    TimerId addTimer(double delay, double interval, Task task) {
        timers_.emplace(nextId_, Timer{now_ + std::max(delay, 0.0), nextOrder_++, interval, std::move(task)});
        return nextId_++;
    }

    std::mutex mutex_;
    std::vector<Task> posted_;
    std::map<TimerId, Timer> timers_;
    std::uint64_t nextOrder_ = 1;
    TimerId nextId_ = 1;
    double now_ = 0.0;
};

}  // namespace sonavista
