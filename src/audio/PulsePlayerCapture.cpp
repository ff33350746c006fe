#include "audio/PulsePlayerCapture.h"

#include "audio/PulsePlayerStream.h"

#include <utility>

namespace sonavista {

PulsePlayerCapture::PulsePlayerCapture(std::shared_ptr<PulseAudioCapture> whole,
                                       std::shared_ptr<const ProcessTree> processes,
                                       std::shared_ptr<const OutputLatencySource> nativeLatency)
    : whole_(std::move(whole)), processes_(std::move(processes)), nativeLatency_(std::move(nativeLatency)) {}

void PulsePlayerCapture::openStream(Handlers handlers) {
    auto loop = whole_->loop();
    if (!loop) {
        handlers.streamDidFailToOpen(AudioCaptureFailure::unavailable);
        return;
    }
    // Owned here until the whole-output stream answers: then handed to the owner, or dropped.
    auto* stream = new PulsePlayerStream(std::move(loop), std::move(handlers), processes_, nativeLatency_);
    Handlers whole;
    whole.streamDidOpen = [stream](std::unique_ptr<AudioCaptureStream> opened) {
        stream->attach(std::move(opened));
        const auto outer = stream->handlers();
        outer->streamDidOpen(std::unique_ptr<AudioCaptureStream>(stream));
    };
    whole.streamDidFailToOpen = [stream](AudioCaptureFailure failure) {
        const auto outer = stream->handlers();
        delete stream;
        outer->streamDidFailToOpen(failure);
    };
    // The whole-output stream runs only while `stream` owns it (it is stopped in its
    // destructor before anything else goes), so these never outlive it.
    whole.bufferDidArrive = [stream](const AudioSampleBuffer& buffer) { stream->wholeOutputDidDeliver(buffer); };
    whole.streamDidStopWithError = [stream] { stream->handlers()->streamDidStopWithError(); };
    whole_->openStream(std::move(whole));
}

}  // namespace sonavista
