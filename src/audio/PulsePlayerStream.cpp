#include "audio/PulsePlayerStream.h"

#include "audio/PulseAudioMainLoop.h"
#include "audio/PulseAudioStream.h"
#include "audio/SinkInputMatcher.h"

#include <pulse/mainloop-api.h>
#include <pulse/operation.h>
#include <pulse/proplist.h>
#include <pulse/rtclock.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace sonavista {

namespace {

std::string property(const pa_proplist* properties, const char* key) {
    const char* value = properties != nullptr ? pa_proplist_gets(properties, key) : nullptr;
    return value != nullptr ? value : "";
}

SinkInputInfo sinkInputFrom(const pa_sink_input_info& info) {
    SinkInputInfo sinkInput;
    sinkInput.index = info.index;
    sinkInput.sinkIndex = info.sink;
    const std::string pid = property(info.proplist, PA_PROP_APPLICATION_PROCESS_ID);
    std::int32_t value = 0;
    const auto [last, error] = std::from_chars(pid.data(), pid.data() + pid.size(), value);
    if (!pid.empty() && error == std::errc{} && last == pid.data() + pid.size()) sinkInput.processId = value;
    sinkInput.processBinary = property(info.proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
    sinkInput.applicationName = property(info.proplist, PA_PROP_APPLICATION_NAME);
    // PipeWire names a sandboxed client's application by the portal's id; a program may name
    // its own with the desktop's reverse-domain id, which for a Flatpak is the same.
    sinkInput.applicationId = property(info.proplist, "pipewire.access.portal.app_id");
    if (sinkInput.applicationId.empty()) sinkInput.applicationId = property(info.proplist, PA_PROP_APPLICATION_ID);
    return sinkInput;
}

void cancelAll(std::vector<pa_operation*>& operations) {
    for (pa_operation* operation : operations) {
        pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    operations.clear();
}

struct Released {
    std::vector<pa_stream*> streams;
    pa_context* context = nullptr;
};

// Unrefs streams and disconnects the context; inside the loop thread on its next turn, since
// libpulse may still be using them in the callback that let them go.
void release(Released released) {
    for (pa_stream* stream : released.streams) {
        if (stream != nullptr) pa_stream_unref(stream);
    }
    if (released.context != nullptr) {
        pa_context_disconnect(released.context);
        pa_context_unref(released.context);
    }
}

void releaseOn(const PulseAudioMainLoop& loop, Released released) {
    if (!loop.isCurrent()) {
        release(std::move(released));
        return;
    }
    pa_mainloop_api_once(
        loop.api(),
        [](pa_mainloop_api*, void* userdata) {
            auto* later = static_cast<Released*>(userdata);
            release(std::move(*later));
            delete later;
        },
        new Released(std::move(released)));
}

// A stream let go while the server is still creating it cannot be disconnected yet (libpulse
// refuses before the server's answer names it), and unreffing it then would leave the server's
// recording alive and unread for as long as the context lives. On PipeWire such an orphan
// stays linked to the player's stream and the next recording of that stream is not fed. So
// it lingers until the answer, then is disconnected and released on the loop's next turn.
void lingeringStateChanged(pa_stream* stream, void* userdata) {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_CREATING || state == PA_STREAM_UNCONNECTED) return;
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_mainloop_api_once(
        static_cast<pa_mainloop_api*>(userdata),
        [](pa_mainloop_api*, void* lingering) {
            auto* created = static_cast<pa_stream*>(lingering);
            if (pa_stream_get_state(created) == PA_STREAM_READY) pa_stream_disconnect(created);
            pa_stream_unref(created);
        },
        stream);
}

// Stops a stream's callbacks and disconnects it; returns it to be unreffed, or null when it
// lingers until the server has created it (and then releases itself).
pa_stream* detach(pa_stream* stream, pa_mainloop_api* api) {
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_CREATING) {
        pa_stream_set_state_callback(stream, &lingeringStateChanged, api);
        return nullptr;
    }
    if (state == PA_STREAM_READY) pa_stream_disconnect(stream);
    return stream;
}

}  // namespace

PulsePlayerStream::PulsePlayerStream(std::shared_ptr<PulseAudioMainLoop> loop, AudioCaptureBackend::Handlers handlers,
                                     std::shared_ptr<const ProcessTree> processes,
                                     std::shared_ptr<const OutputLatencySource> nativeLatency)
    : loop_(std::move(loop)),
      handlers_(std::make_shared<const AudioCaptureBackend::Handlers>(std::move(handlers))),
      processes_(std::move(processes)),
      nativeLatency_(std::move(nativeLatency)) {}

PulsePlayerStream::~PulsePlayerStream() { stop(); }

void PulsePlayerStream::start() {
    if (whole_) whole_->start();
    loop_->locked([&] {
        if (stopped_ || started_) return;
        started_ = true;
        connectWatcher();
    });
}

void PulsePlayerStream::stop() {
    // The whole output first: once it has stopped none of its buffers arrive here.
    if (whole_) whole_->stop();
    loop_->locked([&] {
        if (stopped_) return;
        stopped_ = true;
        tearDown();
    });
}

void PulsePlayerStream::follow(const PlayerAudioIdentity& player) {
    loop_->locked([&] {
        player_ = player;
        failed_.clear();  // another player, or the same one again: worth a new try
        remade_.clear();
        rematch();
    });
}

void PulsePlayerStream::wholeOutputDidDeliver(const AudioSampleBuffer& buffer) {
    // Runs on the loop thread, so the recordings cannot change meanwhile. The whole output
    // keeps time: a recording that has delivered nothing for as long as `stallLimit` of its
    // buffers is linked to nothing (a server may accept a recording and never feed it). It is
    // made again a few times; then given up until its stream moves.
    countSilence(1);
    if (recordings_.empty()) handlers_->bufferDidArrive(buffer);
}

void PulsePlayerStream::countSilence(int wholeBuffers) {
    std::vector<std::uint32_t> stalled;
    for (auto& [index, silent] : wholeBuffersSinceRecorded_) {
        silent += wholeBuffers;
        if (silent > stallLimit) stalled.push_back(index);
    }
    for (const std::uint32_t index : stalled) {
        if (++remade_[index] > remakeLimit) {
            const auto known = sinkInputs_.find(index);
            failed_[index] = known != sinkInputs_.end() ? known->second.sinkIndex : PA_INVALID_INDEX;
        }
        endRecording(index);
    }
    if (!stalled.empty()) rematch();
}

void PulsePlayerStream::connectWatcher() {
    context_ = PulseAudioStream::newContext(loop_->api(), "Sonavista player audio");
    if (context_ == nullptr) return;
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        tearDown();
        return;
    }
    pa_context_set_state_callback(context_, &PulsePlayerStream::contextStateChanged, this);
}

void PulsePlayerStream::contextStateChanged(pa_context* context, void* userdata) {
    auto* self = static_cast<PulsePlayerStream*>(userdata);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY: {
            pa_context_set_subscribe_callback(context, &PulsePlayerStream::serverEvent, self);
            const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK_INPUT |
                                                                  PA_SUBSCRIPTION_MASK_SERVER);
            if (pa_operation* subscribed = pa_context_subscribe(context, mask, nullptr, nullptr)) {
                pa_operation_unref(subscribed);
            }
            self->pending_.push_back(
                pa_context_get_sink_input_info_list(context, &PulsePlayerStream::sinkInputReceived, self));
            self->pending_.push_back(pa_context_get_server_info(context, &PulsePlayerStream::serverInfoReceived, self));
            self->latencyTimer_ = pa_context_rttime_new(context, pa_rtclock_now() + latencyRefreshMicroseconds,
                                                        &PulsePlayerStream::latencyTimerFired, self);
            std::erase(self->pending_, nullptr);
            return;
        }
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            // Without the watcher the whole output is recorded; a server that went away is
            // reported by the whole-output stream.
            self->tearDown();
            self->reportScope();
            return;
        default:
            return;
    }
}

void PulsePlayerStream::serverEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index,
                                    void* userdata) {
    auto* self = static_cast<PulsePlayerStream*>(userdata);
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    self->prunePending();
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        self->track(pa_context_get_server_info(context, &PulsePlayerStream::serverInfoReceived, self));
        return;
    }
    if (facility != PA_SUBSCRIPTION_EVENT_SINK_INPUT) return;
    if (kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
        self->sinkInputs_.erase(index);
        self->failed_.erase(index);
        self->rematch();
        return;
    }
    self->track(pa_context_get_sink_input_info(context, index, &PulsePlayerStream::sinkInputReceived, self));
}

void PulsePlayerStream::sinkInputReceived(pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
    auto* self = static_cast<PulsePlayerStream*>(userdata);
    if (eol != 0 || info == nullptr) {
        self->rematch();  // the list (or the one answer) is complete
        return;
    }
    SinkInputInfo sinkInput = sinkInputFrom(*info);
    const auto failed = self->failed_.find(sinkInput.index);
    // Moved to another output since its recording failed: the server ended the recording
    // because of the move, so record it again there.
    if (failed != self->failed_.end() && failed->second != sinkInput.sinkIndex) self->failed_.erase(failed);
    const auto known = self->sinkInputs_.find(sinkInput.index);
    // A stream PipeWire has just made has no output yet; being linked to its first is no move.
    if (known != self->sinkInputs_.end() && known->second.sinkIndex != PA_INVALID_INDEX &&
        known->second.sinkIndex != sinkInput.sinkIndex) {
        self->endRecording(sinkInput.index);
    }
    self->sinkInputs_[sinkInput.index] = std::move(sinkInput);
}

void PulsePlayerStream::rematch() {
    if (stopped_ || !started_ || context_ == nullptr || pa_context_get_state(context_) != PA_CONTEXT_READY) {
        reportScope();
        return;
    }
    std::vector<SinkInputInfo> candidates;
    for (const auto& [index, sinkInput] : sinkInputs_) {
        if (!failed_.contains(index)) candidates.push_back(sinkInput);
    }
    std::vector<std::uint32_t> targets;
    if (processes_ && !player_.empty()) targets = SinkInputMatcher(*processes_).match(player_, candidates);
    std::vector<std::uint32_t> ended;
    for (const auto& [index, stream] : recordings_) {
        if (std::find(targets.begin(), targets.end(), index) == targets.end()) ended.push_back(index);
    }
    for (const std::uint32_t index : ended) endRecording(index);
    for (const std::uint32_t index : targets) {
        if (!recordings_.contains(index) && !record(index)) failed_[index] = sinkInputs_[index].sinkIndex;
    }
    std::vector<std::uint32_t> recorded;
    for (const auto& [index, stream] : recordings_) recorded.push_back(index);
    mixer_.setStreams(recorded);
    reportScope();
    requestLatency();
}

bool PulsePlayerStream::record(std::uint32_t sinkInput) {
    pa_stream* stream = PulseAudioStream::newRecordStream(context_, "Player audio");
    if (stream == nullptr) return false;
    if (pa_stream_set_monitor_stream(stream, sinkInput) < 0) {
        pa_stream_unref(stream);
        return false;
    }
    pa_stream_set_state_callback(stream, &PulsePlayerStream::recordingStateChanged, this);
    pa_stream_set_read_callback(stream, &PulsePlayerStream::recordingReadable, this);
    const pa_buffer_attr attributes = PulseAudioStream::recordingBufferAttributes(*pa_stream_get_sample_spec(stream));
    // The server records the sink input wherever it plays; the source named is ignored.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream, nullptr, &attributes, flags) < 0) {
        releaseOn(*loop_, Released{{detach(stream, loop_->api())}, nullptr});
        return false;
    }
    recordings_[sinkInput] = stream;
    wholeBuffersSinceRecorded_[sinkInput] = 0;
    return true;
}

void PulsePlayerStream::endRecording(std::uint32_t sinkInput) {
    const auto found = recordings_.find(sinkInput);
    if (found == recordings_.end()) return;
    pa_stream* stream = found->second;
    recordings_.erase(found);
    wholeBuffersSinceRecorded_.erase(sinkInput);
    if (recordings_.empty()) pauseWholeOutput(false);
    releaseOn(*loop_, Released{{detach(stream, loop_->api())}, nullptr});
}

void PulsePlayerStream::recordingStateChanged(pa_stream* stream, void* userdata) {
    auto* self = static_cast<PulsePlayerStream*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED) return;
    for (const auto& [index, recording] : self->recordings_) {
        if (recording != stream) continue;
        // Ended by the server: the sink input moved or went, or the server refuses to record
        // it alone. Its next move brings it back; until then the rest (or the whole) is recorded.
        const std::uint32_t sinkInput = index;
        const auto known = self->sinkInputs_.find(sinkInput);
        self->failed_[sinkInput] = known != self->sinkInputs_.end() ? known->second.sinkIndex : PA_INVALID_INDEX;
        self->endRecording(sinkInput);
        if (known != self->sinkInputs_.end()) {
            self->track(pa_context_get_sink_input_info(self->context_, sinkInput, &PulsePlayerStream::sinkInputReceived,
                                                       self));
        }
        self->rematch();
        return;
    }
}

void PulsePlayerStream::recordingReadable(pa_stream* stream, size_t readable, void* userdata) {
    auto* self = static_cast<PulsePlayerStream*>(userdata);
    std::uint32_t sinkInput = PA_INVALID_INDEX;
    for (const auto& [index, recording] : self->recordings_) {
        if (recording == stream) sinkInput = index;
    }
    if (sinkInput == PA_INVALID_INDEX) return;
    const std::weak_ptr<int> alive = self->alive_;
    const auto handlers = self->handlers_;
    while (readable > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
        if (data != nullptr) {
            self->wholeBuffersSinceRecorded_[sinkInput] = 0;
            self->pauseWholeOutput(true);
            const auto mixed = self->mixer_.add(
                sinkInput, std::span(static_cast<const float*>(data), bytes / sizeof(float)));
            if (!mixed.empty()) {
                handlers->bufferDidArrive(
                    AudioSampleBuffer::interleavedFloat(mixed.data(), mixed.size(), PulseAudioStream::channelCount));
                // The owner may have stopped or released the stream from inside the handler.
                if (alive.expired() || !self->recordings_.contains(sinkInput)) return;
            }
        }
        pa_stream_drop(stream);
        readable -= std::min(readable, bytes);
    }
}

void PulsePlayerStream::pauseWholeOutput(bool paused) {
    if (wholePaused_ == paused || !whole_) return;
    wholePaused_ = paused;
    whole_->setPaused(paused);
}

void PulsePlayerStream::reportScope() {
    const bool playerOnly = !recordings_.empty();
    if (reportedPlayerOnly_ == playerOnly) return;
    // Nothing to say before the first recording: capture starts on the whole output.
    if (!reportedPlayerOnly_ && !playerOnly) {
        reportedPlayerOnly_ = false;
        return;
    }
    reportedPlayerOnly_ = playerOnly;
    if (handlers_->scopeDidChange) handlers_->scopeDidChange(playerOnly);
}

void PulsePlayerStream::serverInfoReceived(pa_context*, const pa_server_info* info, void* userdata) {
    auto* self = static_cast<PulsePlayerStream*>(userdata);
    if (info == nullptr) return;
    self->defaultSink_ = info->default_sink_name != nullptr ? info->default_sink_name : "";
    self->requestLatency();
}

void PulsePlayerStream::requestLatency() {
    if (context_ == nullptr || pa_context_get_state(context_) != PA_CONTEXT_READY) return;
    // The player's output while it is recorded alone, else the default output.
    for (const auto& [index, stream] : recordings_) {
        const auto known = sinkInputs_.find(index);
        if (known == sinkInputs_.end()) continue;
        track(pa_context_get_sink_info_by_index(context_, known->second.sinkIndex,
                                                &PulsePlayerStream::sinkLatencyReceived, this));
        return;
    }
    if (!defaultSink_.empty()) {
        track(pa_context_get_sink_info_by_name(context_, defaultSink_.c_str(), &PulsePlayerStream::sinkLatencyReceived,
                                               this));
    }
}

void PulsePlayerStream::sinkLatencyReceived(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* self = static_cast<PulsePlayerStream*>(userdata);
    if (eol != 0 || info == nullptr) return;
    // Only a device plays the sound out loud later than its monitor carries it. A virtual
    // output (a null sink, a loopback) reports the length of its own buffer, which no one
    // hears: it holds nothing back. A server that reports no latency for any output (PipeWire's
    // PulseAudio service) is asked through its own interface, where a virtual output's
    // latency is only what it was configured to add.
    double seconds = (info->flags & PA_SINK_HARDWARE) != 0 ? static_cast<double>(info->latency) / 1e6 : 0.0;
    if (info->latency == 0 && info->name != nullptr && self->nativeLatency_) {
        seconds = self->nativeLatency_->latencyOf(info->name).value_or(0.0);
    }
    // Changes below a millisecond are noise of the measurement.
    if (self->reportedLatency_ && std::abs(*self->reportedLatency_ - seconds) < 0.001) return;
    self->reportedLatency_ = seconds;
    if (self->handlers_->outputLatencyDidChange) self->handlers_->outputLatencyDidChange(seconds);
}

void PulsePlayerStream::latencyTimerFired(pa_mainloop_api*, pa_time_event* event, const struct timeval*,
                                          void* userdata) {
    auto* self = static_cast<PulsePlayerStream*>(userdata);
    self->prunePending();
    // A whole output that delivers nothing (PipeWire suspends an output nothing plays into)
    // does not keep time: about three seconds without a buffer of a recording are a stall
    // too (longer than the two seconds a PulseAudio null sink may take to feed a recording).
    self->countSilence(stallLimit / 2);
    self->requestLatency();
    pa_context_rttime_restart(self->context_, event, pa_rtclock_now() + latencyRefreshMicroseconds);
}

void PulsePlayerStream::track(pa_operation* operation) {
    if (operation != nullptr) pending_.push_back(operation);
}

void PulsePlayerStream::prunePending() {
    std::erase_if(pending_, [](pa_operation* operation) {
        if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) return false;
        pa_operation_unref(operation);
        return true;
    });
}

void PulsePlayerStream::tearDown() {
    Released released;
    for (const auto& [index, stream] : recordings_) released.streams.push_back(detach(stream, loop_->api()));
    recordings_.clear();
    wholeBuffersSinceRecorded_.clear();
    mixer_.setStreams({});
    cancelAll(pending_);
    if (latencyTimer_ != nullptr) loop_->api()->time_free(std::exchange(latencyTimer_, nullptr));
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        released.context = std::exchange(context_, nullptr);
    }
    sinkInputs_.clear();
    releaseOn(*loop_, std::move(released));
}

}  // namespace sonavista
