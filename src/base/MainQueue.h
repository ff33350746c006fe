#pragma once

#include <cstdint>
#include <functional>

namespace sonavista {

// The main (GUI) thread's queue. `post` may be called from any thread; timers are
// created, cancelled and fired on the main thread. Delays are in seconds.
class MainQueue {
public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t;  // 0 is never a valid id

    virtual ~MainQueue() = default;

    // Runs `task` on the main thread after the current work, in posting order.
    virtual void post(Task task) = 0;
    // Runs `task` once, `delaySeconds` from now, unless cancelled first.
    virtual TimerId postAfter(double delaySeconds, Task task) = 0;
    // Runs `task` every `intervalSeconds` until cancelled.
    virtual TimerId scheduleRepeating(double intervalSeconds, Task task) = 0;
    // Cancels a pending delayed task or a repeating timer; unknown ids are ignored.
    virtual void cancel(TimerId id) = 0;
};

}  // namespace sonavista
