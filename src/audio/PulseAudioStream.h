#pragma once

#include "audio/AudioCaptureBackend.h"
#include "audio/AudioCaptureStream.h"
#include "audio/DefaultSinkSession.h"
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
// its monitor source, and records that source by name. (The "@DEFAULT_MONITOR@" alias is not
// used: pipewire-pulse cannot link a stream to it, and without the don't-move flag it
// resolves to the default input, a microphone.) What it does at each step is decided by a
// `DefaultSinkSession`, whose states it walks through: connecting, resolvingSink, linking,
// then recording once the stream is ready. When the default sink changes it re-creates the
// stream on the new default's monitor (relinking); when the recorded sink goes away it waits
// up to `sinkReturnWaitMicroseconds` for a default sink, the same one coming back included, and records
// that one, without reporting anything. A wait that runs out, or a server that goes away,
// ends the session with `streamDidStopWithError`.
//
// Call order: `open` answers exactly once through the handlers, on the loop thread or
// before it returns: `streamDidOpen` with a handle on the session (not started yet) once its
// first stream is ready, or `streamDidFailToOpen`. The owner then calls `start()`, and
// `stop()` or drops the handle, from any thread; both may also be called from inside a
// handler. `bufferDidArrive`, `streamDidStopWithError` and `sourceDidConnect` (each time a
// record stream is created) run on the loop thread.
//
// Threads and ownership: every field is touched only with the loop's lock held (libpulse
// callbacks run on the loop thread, which holds it; `start`, `stop` and `open` take it). The
// session keeps itself alive (`self_`) from `open` until it ends; every libpulse callback
// holds it for its own duration, so a session that ends inside a callback is freed when
// that callback returns, and the owner's handle keeps it alive for as long as the owner
// holds it. Ending (`end`) is the one place where the session lets go of libpulse and of
// itself.
class PulseAudioStream final : public AudioCaptureStream, public std::enable_shared_from_this<PulseAudioStream> {
    struct Key {};

public:
    // Starts connecting on `loop`; answers exactly once through the handlers.
    static void open(std::shared_ptr<PulseAudioMainLoop> loop, AudioCaptureBackend::Handlers handlers,
                     PulseAudioCapture::SourceDidConnect sourceDidConnect = {});

    PulseAudioStream(Key, std::shared_ptr<PulseAudioMainLoop> loop, AudioCaptureBackend::Handlers handlers,
                     PulseAudioCapture::SourceDidConnect sourceDidConnect);
    ~PulseAudioStream() override;
    void start() override;
    void stop() override;
    void setPaused(bool paused) override;

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
    // How long a lost stream waits for a default sink before the session ends: long enough
    // for a sink that is re-created (a Bluetooth profile switch, PipeWire's session manager
    // naming the next default), short enough that a machine left without any output is
    // reported as such before the analysis would call it silence.
    static constexpr std::uint64_t sinkReturnWaitMicroseconds = 2000000;

    // A context on `api` that names this application to the server as the client `name`
    // (the server's client list, its per-application settings); null when libpulse refuses it.
    static pa_context* newContext(pa_mainloop_api* api, const char* name);
    // A record stream in the format every capture stream asks for (float32, `sampleRate`,
    // stereo); null when libpulse refuses it.
    static pa_stream* newRecordStream(pa_context* context, const char* name);
    // Fragments of `fragmentFrames` frames of `spec`; the rest is left to the server.
    static pa_buffer_attr recordingBufferAttributes(const pa_sample_spec& spec);

private:
    using Action = DefaultSinkSession::Action;

    static void contextStateChanged(pa_context* context, void* userdata);
    static void serverEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index, void* userdata);
    static void serverInfoReceived(pa_context* context, const pa_server_info* info, void* userdata);
    static void sinkInfoReceived(pa_context* context, const pa_sink_info* info, int eol, void* userdata);
    static void streamStateChanged(pa_stream* stream, void* userdata);
    static void streamReadable(pa_stream* stream, size_t bytes, void* userdata);
    static void waitExpired(pa_mainloop_api* api, pa_time_event* event, const struct timeval* time, void* userdata);

    // Performs what the session decided: `error` is the libpulse error behind a failure,
    // `argument` the sink to look up or the monitor source to record.
    void perform(Action action, int error = 0, const char* argument = nullptr);
    void connect();
    void askDefaultSink();
    void lookUpSink(const char* name);
    void track(pa_operation* operation);
    // Replaces the record stream by one on `source`.
    void record(const char* source);
    bool connectRecordStream(const char* source);
    void waitForSink();
    void cancelWait();
    pa_stream* detachRecordStream();
    void tearDownRecordStream();
    // Releases everything the session holds on the server and its hold on itself.
    void end();

    std::shared_ptr<PulseAudioMainLoop> loop_;
    const AudioCaptureBackend::Handlers handlers_;
    const PulseAudioCapture::SourceDidConnect sourceDidConnect_;
    std::shared_ptr<PulseAudioStream> self_;  // held until the session ends
    DefaultSinkSession session_;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::vector<pa_operation*> pendingInfo_;  // server and sink info requests answering to this session
    pa_time_event* waitTimer_ = nullptr;      // runs while a lost stream waits for a sink
    std::string serverName_;                  // "name version" of the server, from its info
    bool started_ = false;                    // the owner started it: streams are created uncorked
    bool paused_ = false;                     // unless it paused it
};

}  // namespace sonavista
