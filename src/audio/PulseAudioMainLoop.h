#pragma once

#include <memory>

struct pa_threaded_mainloop;
struct pa_mainloop_api;

namespace sonavista {

// A started libpulse threaded main loop: one thread that runs every callback of the
// contexts and streams created on it. Every libpulse call on those objects made from another
// thread goes through `locked`. The capture backend shares one with its streams, so that a
// stream outliving the backend still has its loop; the output volume has its own.
class PulseAudioMainLoop {
public:
    // Null when the loop cannot be created or its thread cannot start. `threadName` names
    // the loop's thread (as seen in a debugger or top).
    static std::shared_ptr<PulseAudioMainLoop> create(const char* threadName);
    ~PulseAudioMainLoop();
    PulseAudioMainLoop(const PulseAudioMainLoop&) = delete;
    PulseAudioMainLoop& operator=(const PulseAudioMainLoop&) = delete;

    pa_mainloop_api* api() const;
    bool isCurrent() const;

    // Runs `task` holding the loop's lock; inside the loop thread (where callbacks
    // already hold it) it just runs `task`.
    template <typename Task>
    decltype(auto) locked(Task&& task) const {
        const bool inside = isCurrent();
        if (!inside) lock();
        struct Unlock {
            const PulseAudioMainLoop* loop;
            bool inside;
            ~Unlock() {
                if (!inside) loop->unlock();
            }
        } unlock{this, inside};
        return task();
    }

private:
    explicit PulseAudioMainLoop(pa_threaded_mainloop* loop);
    void lock() const;
    void unlock() const;

    pa_threaded_mainloop* loop_;
};

}  // namespace sonavista
