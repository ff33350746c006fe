#pragma once

#include "audio/AudioCaptureBackend.h"
#include "audio/AudioCaptureStream.h"
#include "audio/PulseAudioCapture.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>

#include <memory>
#include <string>
#include <vector>

namespace sonavista {

class PulseAudioMainLoop;

// One capture session on a PulseAudio (or pipewire-pulse) server: its own context and a
// record stream on the default sink's monitor, float32 48 kHz stereo in fragments of 2048
// frames (about 43 ms).
//
// The session connects, asks the server for its default sink and that sink for the name of
// its monitor source, records that source by name, and hands itself to `streamDidOpen`
// once the stream is ready; `start()` uncorks it. (The "@DEFAULT_MONITOR@" alias is not
// used: pipewire-pulse cannot link a stream to it, and without the don't-move flag it
// resolves to the default input, a microphone.) When the default sink changes, or the
// recorded sink disappears while another is the default, it re-creates the stream on the
// new default's monitor without reporting anything. All of its state is touched only with
// the loop's lock held (callbacks run with it held).
class PulseAudioStream final : public AudioCaptureStream {
public:
    // Starts connecting on `loop`; answers exactly once through the handlers.
    static void open(std::shared_ptr<PulseAudioMainLoop> loop, AudioCaptureBackend::Handlers handlers,
                     PulseAudioCapture::SourceDidConnect sourceDidConnect = {});

    ~PulseAudioStream() override;
    void start() override;
    void stop() override;

    static constexpr std::uint32_t sampleRate = 48000;
    static constexpr std::uint8_t channelCount = 2;
    // Most of the capture's cost is waking up for each fragment, and the analysis publishes
    // at most once per 1/30 s, so a fragment only needs to be about as long as the gap
    // between two publishes. PipeWire delivers whole graph cycles (a power of two of frames,
    // 1024 by default): 2048 frames is a whole number of cycles, so every delivery is one
    // fragment at least 1/30 s after the last, and each one publishes. Shorter fragments
    // cost more wake-ups without more frames (20 ms ones arrive 21 ms apart and only every
    // other one passes the 1/30 s gate); longer ones would make the beat lag.
    static constexpr std::uint32_t fragmentFrames = 2048;

private:
    PulseAudioStream(std::shared_ptr<PulseAudioMainLoop> loop, AudioCaptureBackend::Handlers handlers,
                     PulseAudioCapture::SourceDidConnect sourceDidConnect);

    static void contextStateChanged(pa_context* context, void* userdata);
    static void serverEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index, void* userdata);
    static void serverInfoReceived(pa_context* context, const pa_server_info* info, void* userdata);
    static void sinkInfoReceived(pa_context* context, const pa_sink_info* info, int eol, void* userdata);
    static void streamStateChanged(pa_stream* stream, void* userdata);
    static void streamReadable(pa_stream* stream, size_t bytes, void* userdata);
    static void graceExpired(pa_mainloop_api* api, pa_time_event* event, const struct timeval* time, void* userdata);

    // Each of these may destroy the session (through the owner's handlers); callers
    // return without touching it afterwards.
    void failToOpen(int error);
    void reportStopped();

    void requestServerInfo();
    void track(pa_operation* operation);
    // The default sink cannot be recorded (none, or gone): fails the set-up, or ends a
    // capture that has lost its stream once a short grace has passed without a new default
    // (PipeWire's session manager names the next default shortly after the old sink goes).
    void loseDefaultSink(int error);
    bool connectRecordStream(const char* source);
    pa_stream* detachRecordStream();
    void tearDownRecordStream();
    void tearDown();

    std::shared_ptr<PulseAudioMainLoop> loop_;
    std::shared_ptr<const AudioCaptureBackend::Handlers> handlers_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // expires with the session
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    const PulseAudioCapture::SourceDidConnect sourceDidConnect_;
    std::vector<pa_operation*> pendingInfo_;  // server and sink info requests answering to this session
    std::string serverName_;     // "name version" of the server, from its info
    std::string sinkName_;       // sink whose monitor the stream records
    bool opened_ = false;        // handed to the owner
    bool started_ = false;
    bool stopped_ = false;
    bool reportedStop_ = false;
    pa_time_event* graceTimer_ = nullptr;  // armed while a lost stream waits for a new default
    bool graceSpent_ = false;              // the grace ran out; the next loss is reported
    static constexpr std::uint64_t graceMicroseconds = 500000;
};

}  // namespace sonavista
