#include "base/ManualMainQueue.h"

namespace sonavista {

void ManualMainQueue::post(Task task) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
}

MainQueue::TimerId ManualMainQueue::postAfter(double delaySeconds, Task task) {
    return addTimer(delaySeconds, 0.0, std::move(task));
}

MainQueue::TimerId ManualMainQueue::scheduleRepeating(double intervalSeconds, Task task) {
    return addTimer(intervalSeconds, intervalSeconds > 0 ? intervalSeconds : 1e-9, std::move(task));
}

MainQueue::TimerId ManualMainQueue::addTimer(double delay, double interval, Task task) {
    std::lock_guard lock(mutex_);
    const TimerId id = nextId_++;
    const double due = now_ + (delay > 0 ? delay : 0.0);
    timers_.emplace(id, Timer{due, interval, std::move(task)});
    schedule_.emplace(TimerKey{due, nextSequence_++}, id);
    return id;
}

void ManualMainQueue::cancel(TimerId id) {
    std::lock_guard lock(mutex_);
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    for (auto s = schedule_.begin(); s != schedule_.end(); ++s) {
        if (s->second == id) {
            schedule_.erase(s);
            break;
        }
    }
    timers_.erase(it);
}

void ManualMainQueue::runPending() {
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

void ManualMainQueue::advance(double bySeconds) {
    runPending();
    const double target = now_ + (bySeconds > 0 ? bySeconds : 0.0);
    for (;;) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (schedule_.empty()) break;
            auto first = schedule_.begin();
            const double due = std::get<0>(first->first);
            if (due > target) break;
            const TimerId id = first->second;
            schedule_.erase(first);
            now_ = due;
            auto& timer = timers_.at(id);
            if (timer.interval > 0) {
                timer.due = due + timer.interval;
                schedule_.emplace(TimerKey{timer.due, nextSequence_++}, id);
                task = timer.task;
            } else {
                task = std::move(timer.task);
                timers_.erase(id);
            }
        }
        task();
        runPending();
    }
    std::lock_guard lock(mutex_);
    now_ = target;
}

std::size_t ManualMainQueue::pendingTaskCount() const {
    std::lock_guard lock(mutex_);
    return posted_.size();
}

std::size_t ManualMainQueue::timerCount() const {
    std::lock_guard lock(mutex_);
    return timers_.size();
}

}  // namespace sonavista
