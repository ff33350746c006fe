#pragma once

#include "audio/AudioCaptureBackend.h"
#include "audio/OutputLatencySource.h"
#include "audio/ProcessTree.h"
#include "audio/PulseAudioCapture.h"

#include <memory>

namespace sonavista {

// Capture that can record the playing player's own sound: each stream is a whole-output
// stream of `whole` (the default sink's monitor, with all of its failure handling) together
// with a recording of the followed player's playback streams, which takes the whole output's
// place while the player has streams. Both deliver on `whole`'s thread. `nativeLatency`, if
// given, answers for the outputs whose latency the server's PulseAudio service leaves out.
class PulsePlayerCapture final : public AudioCaptureBackend {
public:
    PulsePlayerCapture(std::shared_ptr<PulseAudioCapture> whole, std::shared_ptr<const ProcessTree> processes,
                       std::shared_ptr<const OutputLatencySource> nativeLatency = nullptr);

    void openStream(Handlers handlers) override;

private:
    const std::shared_ptr<PulseAudioCapture> whole_;
    const std::shared_ptr<const ProcessTree> processes_;
    const std::shared_ptr<const OutputLatencySource> nativeLatency_;
};

}  // namespace sonavista
