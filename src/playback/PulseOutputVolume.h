#pragma once

#include "playback/OutputVolume.h"

#include <atomic>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_time_event;

namespace sonavista {

// The default sink's volume from the PulseAudio (or PipeWire) server. A background thread
// keeps it current through a subscription to sink and server changes, so reading it never
// blocks. Never starts a server; while none can be reached the volume reads 1.0 and the
// connection is retried every few seconds.
class PulseOutputVolume final : public OutputVolume {
public:
    static constexpr double reconnectSeconds = 5.0;

    explicit PulseOutputVolume(std::string applicationName = "Sonavista");
    ~PulseOutputVolume() override;
    PulseOutputVolume(const PulseOutputVolume&) = delete;
    PulseOutputVolume& operator=(const PulseOutputVolume&) = delete;

    double systemOutputVolume() override;
    bool isConnected() const { return connected_.load(); }

private:
    // Everything below runs on the PulseAudio thread (or before it starts).
    void connect();
    void scheduleReconnect();
    void refresh();
    struct Callbacks;
    friend struct Callbacks;

    std::string applicationName_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_time_event* reconnectEvent_ = nullptr;
    std::atomic<double> volume_{1.0};
    std::atomic<bool> connected_{false};
};

}  // namespace sonavista
