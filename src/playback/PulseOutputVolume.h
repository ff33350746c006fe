#pragma once

#include "playback/OutputVolume.h"

#include <atomic>
#include <memory>
#include <string>

struct pa_context;
struct pa_time_event;

namespace sonavista {

class PulseAudioMainLoop;

// The default sink's volume from the PulseAudio (or PipeWire) server. Its own libpulse loop
// thread keeps it current through a subscription to sink and server changes, so reading it never
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
    // Everything below runs on the loop's thread or holding its lock.
    void connect();
    void scheduleReconnect();
    void refresh();
    struct Callbacks;
    friend struct Callbacks;

    std::string applicationName_;
    pa_context* context_ = nullptr;
    pa_time_event* reconnectEvent_ = nullptr;
    std::atomic<double> volume_{1.0};
    std::atomic<bool> connected_{false};
    // Declared last so that its thread has stopped before the members above go.
    std::shared_ptr<PulseAudioMainLoop> loop_;
};

}  // namespace sonavista
