#pragma once

#include "audio/AudioCaptureBackend.h"

#include <memory>
#include <mutex>

namespace sonavista {

class PulseAudioMainLoop;

// System audio capture from a PulseAudio server (PipeWire through pipewire-pulse): each
// stream records the default sink's monitor. The delivery thread, started on first use,
// is one libpulse threaded main loop shared by every stream of this backend.
//
// A server that does not answer is never started; that, a refused connection, a failed
// stream and a server that goes away are `unavailable`; access denied is
// `permissionRequired`. Destroy the backend from outside its delivery thread.
class PulseAudioCapture final : public AudioCaptureBackend {
public:
    PulseAudioCapture();
    ~PulseAudioCapture() override;

    void openStream(Handlers handlers) override;

private:
    std::mutex mutex_;
    std::shared_ptr<PulseAudioMainLoop> loop_;
};

}  // namespace sonavista
