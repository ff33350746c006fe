#include "audio/PulseAudioCapture.h"

#include "audio/PulseAudioMainLoop.h"
#include "audio/PulseAudioStream.h"

#include <utility>

namespace sonavista {

PulseAudioCapture::PulseAudioCapture(SourceDidConnect sourceDidConnect)
    : sourceDidConnect_(std::move(sourceDidConnect)) {}

PulseAudioCapture::~PulseAudioCapture() = default;

std::shared_ptr<PulseAudioMainLoop> PulseAudioCapture::loop() {
    std::lock_guard lock(mutex_);
    if (!loop_) loop_ = PulseAudioMainLoop::create("sonavista-audio-samples");
    return loop_;
}

void PulseAudioCapture::openStream(Handlers handlers) {
    std::shared_ptr<PulseAudioMainLoop> loop = this->loop();
    if (!loop) {
        handlers.streamDidFailToOpen(AudioCaptureFailure::unavailable);
        return;
    }
    PulseAudioStream::open(std::move(loop), std::move(handlers), sourceDidConnect_);
}

}  // namespace sonavista
