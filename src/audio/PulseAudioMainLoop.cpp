#include "audio/PulseAudioMainLoop.h"

#include <pulse/thread-mainloop.h>

#include <thread>

namespace sonavista {

std::shared_ptr<PulseAudioMainLoop> PulseAudioMainLoop::create(const char* threadName) {
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    if (loop == nullptr) return nullptr;
    pa_threaded_mainloop_set_name(loop, threadName);
    if (pa_threaded_mainloop_start(loop) < 0) {
        pa_threaded_mainloop_free(loop);
        return nullptr;
    }
    return std::shared_ptr<PulseAudioMainLoop>(new PulseAudioMainLoop(loop));
}

PulseAudioMainLoop::PulseAudioMainLoop(pa_threaded_mainloop* loop) : loop_(loop) {}

PulseAudioMainLoop::~PulseAudioMainLoop() {
    if (pa_threaded_mainloop_in_thread(loop_)) {
        // The last owner let go from inside a callback. The loop thread cannot join
        // itself, so a helper stops and frees it once this callback has returned.
        std::thread([loop = loop_] {
            pa_threaded_mainloop_stop(loop);
            pa_threaded_mainloop_free(loop);
        }).detach();
        return;
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

pa_mainloop_api* PulseAudioMainLoop::api() const { return pa_threaded_mainloop_get_api(loop_); }

bool PulseAudioMainLoop::isCurrent() const { return pa_threaded_mainloop_in_thread(loop_) != 0; }

void PulseAudioMainLoop::lock() const { pa_threaded_mainloop_lock(loop_); }

void PulseAudioMainLoop::unlock() const { pa_threaded_mainloop_unlock(loop_); }

}  // namespace sonavista
