#pragma once

#include "audio/AudioCaptureBackend.h"
#include "audio/AudioCaptureStream.h"
#include "audio/OutputLatencySource.h"
#include "audio/PlaybackStreamMixer.h"
#include "audio/PlayerAudioIdentity.h"
#include "audio/ProcessTree.h"
#include "audio/SinkInputInfo.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sonavista {

class PulseAudioMainLoop;

// One capture stream of PulsePlayerCapture. It owns the whole-output stream and, once started,
// a context of its own that watches the server's playback streams (sink inputs): their
// properties, which output each plays into, when they come and go. While the followed player
// has playback streams, each is recorded alone (a record stream on the monitor of that one
// sink input), several are mixed, and the whole output's buffers are dropped; without any,
// the whole output's buffers pass. A new stream of the player (the next track), a stream that
// moves to another output (the server ends the recording then) and a stream that ends are
// followed as the server announces them.
//
// It also reads the latency of the output whose sound is recorded (the player's sink, or the
// default sink), now and every second, and reports it with `outputLatencyDidChange`: a
// device's latency as the server reports it (a Bluetooth codec's delay included where the
// server knows it), none for a virtual output. Where the server reports none at all (PipeWire's
// PulseAudio service reports 0 for every output), `nativeLatency` answers, if given.
//
// While a recording of the player delivers, the whole output's stream is paused (corked): it
// keeps its place on the server, so a lost output or server is still reported by it, but
// neither the server nor this process copies sound that would be dropped. It resumes as
// soon as no recording is left. A paused whole output no longer keeps time for stalled
// recordings: the latency timer then finds them, within about three seconds.
//
// Failures of the watcher or of a player recording are never reported: capture then falls
// back to the whole output, whose own failures are reported as they always were. All state
// is touched with the loop's lock held.
class PulsePlayerStream final : public AudioCaptureStream {
public:
    PulsePlayerStream(std::shared_ptr<PulseAudioMainLoop> loop, AudioCaptureBackend::Handlers handlers,
                      std::shared_ptr<const ProcessTree> processes,
                      std::shared_ptr<const OutputLatencySource> nativeLatency = nullptr);
    ~PulsePlayerStream() override;

    // The whole-output stream, once open.
    void attach(std::unique_ptr<AudioCaptureStream> whole) { whole_ = std::move(whole); }
    const std::shared_ptr<const AudioCaptureBackend::Handlers>& handlers() const { return handlers_; }
    // A buffer of the whole output (on the loop thread).
    void wholeOutputDidDeliver(const AudioSampleBuffer& buffer);

    void start() override;
    void stop() override;
    void follow(const PlayerAudioIdentity& player) override;

    static constexpr std::uint64_t latencyRefreshMicroseconds = 1000000;
    // Whole-output buffers (about 43 ms each) without a buffer of a recording: a stall.
    static constexpr int stallLimit = 12;
    static constexpr int remakeLimit = 4;

private:
    static void contextStateChanged(pa_context* context, void* userdata);
    static void serverEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index, void* userdata);
    static void sinkInputReceived(pa_context* context, const pa_sink_input_info* info, int eol, void* userdata);
    static void serverInfoReceived(pa_context* context, const pa_server_info* info, void* userdata);
    static void sinkLatencyReceived(pa_context* context, const pa_sink_info* info, int eol, void* userdata);
    static void recordingStateChanged(pa_stream* stream, void* userdata);
    static void recordingReadable(pa_stream* stream, size_t bytes, void* userdata);
    static void latencyTimerFired(pa_mainloop_api* api, pa_time_event* event, const struct timeval* time,
                                  void* userdata);

    void connectWatcher();
    // Records exactly the matching sink inputs, and says whose sound is recorded.
    void rematch();
    bool record(std::uint32_t sinkInput);
    void endRecording(std::uint32_t sinkInput);
    void reportScope();
    void pauseWholeOutput(bool paused);
    // Adds `wholeBuffers` of silence to every recording and deals with those that stalled.
    void countSilence(int wholeBuffers);
    void requestLatency();
    void track(pa_operation* operation);
    void prunePending();
    void tearDown();

    std::shared_ptr<PulseAudioMainLoop> loop_;
    std::shared_ptr<const AudioCaptureBackend::Handlers> handlers_;
    std::shared_ptr<const ProcessTree> processes_;
    std::shared_ptr<const OutputLatencySource> nativeLatency_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // expires with the stream
    std::unique_ptr<AudioCaptureStream> whole_;

    pa_context* context_ = nullptr;
    pa_time_event* latencyTimer_ = nullptr;
    std::vector<pa_operation*> pending_;  // requests whose answers come to this stream
    std::map<std::uint32_t, SinkInputInfo> sinkInputs_;
    std::map<std::uint32_t, pa_stream*> recordings_;  // by sink input
    // Sink inputs whose recording failed, with the sink they played into then: tried again
    // only once they move.
    std::map<std::uint32_t, std::uint32_t> failed_;
    std::map<std::uint32_t, int> wholeBuffersSinceRecorded_;  // by recorded sink input
    std::map<std::uint32_t, int> remade_;  // how often a stalled recording was made again
    PlaybackStreamMixer mixer_;
    PlayerAudioIdentity player_;
    std::string defaultSink_;
    std::optional<bool> reportedPlayerOnly_;
    std::optional<double> reportedLatency_;
    bool wholePaused_ = false;
    bool started_ = false;
    bool stopped_ = false;
};

}  // namespace sonavista
