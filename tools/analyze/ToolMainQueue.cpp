#include "ToolMainQueue.h"

#include <chrono>

namespace sonavista {

double ToolMainQueue::now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void ToolMainQueue::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
    }
    wake_.notify_one();
}

MainQueue::TimerId ToolMainQueue::postAfter(double delaySeconds, Task task) {
    return addTimer(delaySeconds, 0.0, std::move(task));
}

MainQueue::TimerId ToolMainQueue::scheduleRepeating(double intervalSeconds, Task task) {
    return addTimer(intervalSeconds, intervalSeconds, std::move(task));
}

void ToolMainQueue::cancel(TimerId id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

MainQueue::TimerId ToolMainQueue::addTimer(double delay, double interval, Task task) {
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        timers_.emplace(id, Timer{now() + delay, interval, std::move(task)});
    }
    wake_.notify_one();
    return id;
}

void ToolMainQueue::quit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
}

void ToolMainQueue::runUntil(std::optional<double> deadline) {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (!posted_.empty()) {
            Task task = std::move(posted_.front());
            posted_.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        const double current = now();
        if (deadline && current >= *deadline) return;
        // The earliest timer, if one is due, runs now (re-armed first when it repeats).
        auto earliest = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (earliest == timers_.end() || it->second.due < earliest->second.due) earliest = it;
        }
        if (earliest != timers_.end() && earliest->second.due <= current) {
            Task task = earliest->second.task;
            if (earliest->second.interval > 0) {
                earliest->second.due += earliest->second.interval;
            } else {
                timers_.erase(earliest);
            }
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        if (!deadline && earliest == timers_.end()) {
            // Nothing is scheduled: sleep until a post or quit, without arming a timer.
            wake_.wait(lock);
            continue;
        }
        double wakeAt = deadline ? *deadline : earliest->second.due;
        if (earliest != timers_.end() && earliest->second.due < wakeAt) wakeAt = earliest->second.due;
        wake_.wait_for(lock, std::chrono::duration<double>(wakeAt - current));
    }
}

}  // namespace sonavista
