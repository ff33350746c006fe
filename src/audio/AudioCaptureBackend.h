#pragma once

#include "audio/AudioCaptureFailure.h"
#include "audio/AudioCaptureStream.h"
#include "audio/AudioSampleBuffer.h"

#include <functional>
#include <memory>

namespace sonavista {

// Port to whatever delivers the whole system's output as float PCM (48 kHz, stereo).
//
// `openStream` sets a stream up asynchronously and answers exactly once, on a thread of
// the backend's choosing, with either `streamDidOpen` (a stream, not yet started) or
// `streamDidFailToOpen`. A started stream calls `bufferDidArrive` for every delivered
// buffer, one at a time, always on the backend's single delivery thread (the sample
// queue), and `streamDidStopWithError` at most once if it ends by itself. A backend that
// cannot tell the output latency or record a single player never calls the optional two.
class AudioCaptureBackend {
public:
    struct Handlers {
        std::function<void(std::unique_ptr<AudioCaptureStream>)> streamDidOpen;
        std::function<void(AudioCaptureFailure)> streamDidFailToOpen;
        std::function<void(const AudioSampleBuffer&)> bufferDidArrive;
        std::function<void()> streamDidStopWithError;
        // Optional, on the delivery thread. How much later than the recording the listener
        // hears the sound (the output's own latency, codec delay included where the server
        // knows it), whenever it becomes known or changes.
        std::function<void(double seconds)> outputLatencyDidChange;
        // Optional, on the delivery thread. Whether the stream now records the followed
        // player's own sound only (true) or everything the computer plays (false).
        std::function<void(bool playerOnly)> scopeDidChange;
    };

    virtual ~AudioCaptureBackend() = default;

    // Returns at once; the answer may also come before it returns.
    virtual void openStream(Handlers handlers) = 0;
};

}  // namespace sonavista
