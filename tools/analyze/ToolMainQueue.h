#pragma once

#include "base/MainQueue.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace sonavista {

// The main queue of a command-line tool: the thread that calls `runUntil` is the main
// thread. It sleeps until a task is posted, a timer falls due or the deadline passes.
class ToolMainQueue final : public MainQueue {
public:
    void post(Task task) override;
    TimerId postAfter(double delaySeconds, Task task) override;
    TimerId scheduleRepeating(double intervalSeconds, Task task) override;
    void cancel(TimerId id) override;

    // Runs tasks and timers until `quit()` is called or `deadline` (steady-clock seconds)
    // passes.
    void runUntil(std::optional<double> deadline);
    // Makes `runUntil` return; callable from any thread.
    void quit();

private:
    struct Timer {
        double due;
        double interval;
        Task task;
    };
    static double now();
    TimerId addTimer(double delay, double interval, Task task);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> posted_;
    std::map<TimerId, Timer> timers_;
    TimerId nextId_ = 1;
    bool quit_ = false;
};

}  // namespace sonavista
