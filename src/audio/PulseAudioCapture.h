#pragma once

#include "audio/AudioCaptureBackend.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace sonavista {

class PulseAudioMainLoop;

// System audio capture from a PulseAudio server (PipeWire through pipewire-pulse): each
// stream records the monitor of the server's default sink, follows the default sink when
// it changes, and records it again when it comes back after going away (under its own name
// or another). The delivery thread, started on first use, is one libpulse threaded main
// loop shared by every stream of this backend.
//
// A server that does not answer is never started; that, a refused connection, a failed
// stream, no default sink within 2 s of losing the recorded one, and a server that goes
// away are `unavailable`; access denied is `permissionRequired`. Destroy the backend from
// outside its delivery thread.
class PulseAudioCapture final : public AudioCaptureBackend {
public:
    // Learns the server's name and version and the monitor source each time a stream
    // starts recording one; called on the delivery thread.
    using SourceDidConnect = std::function<void(const std::string& server, const std::string& source)>;

    explicit PulseAudioCapture(SourceDidConnect sourceDidConnect = {});
    ~PulseAudioCapture() override;

    void openStream(Handlers handlers) override;

    // The delivery thread's loop, started on first use; null when it cannot start. Other
    // streams that must deliver on the same thread are created on it.
    std::shared_ptr<PulseAudioMainLoop> loop();

private:
    const SourceDidConnect sourceDidConnect_;
    std::mutex mutex_;
    std::shared_ptr<PulseAudioMainLoop> loop_;
};

}  // namespace sonavista
