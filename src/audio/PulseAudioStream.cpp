#include "audio/PulseAudioStream.h"

#include "audio/PulseAudioMainLoop.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop-api.h>
#include <pulse/operation.h>
#include <pulse/proplist.h>
#include <pulse/rtclock.h>
#include <pulse/sample.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace sonavista {

namespace {

AudioCaptureFailure failureForError(int error) {
    return error == PA_ERR_ACCESS ? AudioCaptureFailure::permissionRequired : AudioCaptureFailure::unavailable;
}

void releaseOperation(pa_operation* operation) {
    if (operation != nullptr) pa_operation_unref(operation);
}

// Releases a stream and its context. Inside the loop thread this waits for the next loop
// turn: libpulse may still be using them in the callback that tore them down, and the
// context must not be disconnected while the stream still holds a peeked block of shared
// memory (disconnecting then waits for that block forever).
void release(pa_stream* stream, pa_context* context) {
    if (stream != nullptr) pa_stream_unref(stream);
    if (context != nullptr) {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
}

struct Released {
    pa_stream* stream;
    pa_context* context;
};

void releaseLater(pa_mainloop_api* api, pa_stream* stream, pa_context* context) {
    pa_mainloop_api_once(
        api,
        [](pa_mainloop_api*, void* userdata) {
            auto* released = static_cast<Released*>(userdata);
            release(released->stream, released->context);
            delete released;
        },
        new Released{stream, context});
}

// What the owner holds: starting and stopping reach the session, and dropping it stops the
// session, which is freed once libpulse's callbacks have let go of it too.
class OwnedStream final : public AudioCaptureStream {
public:
    explicit OwnedStream(std::shared_ptr<AudioCaptureStream> session) : session_(std::move(session)) {}
    ~OwnedStream() override { session_->stop(); }
    void start() override { session_->start(); }
    void stop() override { session_->stop(); }
    void setPaused(bool paused) override { session_->setPaused(paused); }

private:
    const std::shared_ptr<AudioCaptureStream> session_;
};

}  // namespace

void PulseAudioStream::open(std::shared_ptr<PulseAudioMainLoop> loop, AudioCaptureBackend::Handlers handlers,
                            PulseAudioCapture::SourceDidConnect sourceDidConnect) {
    auto session =
        std::make_shared<PulseAudioStream>(Key{}, loop, std::move(handlers), std::move(sourceDidConnect));
    loop->locked([&] {
        session->self_ = session;
        session->connect();
    });
}

PulseAudioStream::PulseAudioStream(Key, std::shared_ptr<PulseAudioMainLoop> loop,
                                   AudioCaptureBackend::Handlers handlers,
                                   PulseAudioCapture::SourceDidConnect sourceDidConnect)
    : loop_(std::move(loop)), handlers_(std::move(handlers)), sourceDidConnect_(std::move(sourceDidConnect)) {}

// Only reached once the session has ended: until then it holds itself.
PulseAudioStream::~PulseAudioStream() = default;

void PulseAudioStream::start() {
    loop_->locked([&] {
        if (session_.state() == DefaultSinkSession::State::ended || started_) return;
        started_ = true;
        if (stream_ != nullptr && !paused_) releaseOperation(pa_stream_cork(stream_, 0, nullptr, nullptr));
    });
}

void PulseAudioStream::setPaused(bool paused) {
    loop_->locked([&] {
        if (paused_ == paused) return;
        paused_ = paused;
        // A stream made later (a new default sink) is created corked while paused.
        if (started_ && stream_ != nullptr) releaseOperation(pa_stream_cork(stream_, paused ? 1 : 0, nullptr, nullptr));
    });
}

void PulseAudioStream::stop() {
    loop_->locked([&] {
        session_.stopped();
        end();
    });
}

void PulseAudioStream::connect() {
    context_ = newContext(loop_->api(), "Sonavista");
    if (context_ == nullptr) {
        perform(session_.connectionLost(), PA_ERR_INTERNAL);
        return;
    }
    // Never start a sound server: when none answers, capture is unavailable.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        perform(session_.connectionLost(), pa_context_errno(context_));
        return;
    }
    // Set after connecting so that a failure inside pa_context_connect is handled once,
    // here, rather than also by the callback. Later changes arrive on the loop thread,
    // which cannot run before the caller releases the lock.
    pa_context_set_state_callback(context_, &PulseAudioStream::contextStateChanged, this);
    contextStateChanged(context_, this);
}

void PulseAudioStream::perform(Action action, int error, const char* argument) {
    switch (action) {
        case Action::none: return;
        case Action::askDefaultSink: askDefaultSink(); return;
        case Action::lookUpSink: lookUpSink(argument); return;
        case Action::record: record(argument); return;
        case Action::handOver: handlers_.streamDidOpen(std::make_unique<OwnedStream>(shared_from_this())); return;
        case Action::resume: cancelWait(); return;
        case Action::waitForSink: waitForSink(); return;
        case Action::failToOpen: {
            end();
            handlers_.streamDidFailToOpen(failureForError(error));
            return;
        }
        case Action::reportStop:
            end();
            handlers_.streamDidStopWithError();
            return;
    }
}

void PulseAudioStream::contextStateChanged(pa_context* context, void* userdata) {
    const auto self = static_cast<PulseAudioStream*>(userdata)->shared_from_this();
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            if (self->session_.state() == DefaultSinkSession::State::connecting) {
                // Server events name a new default sink; sink events tell a waiting
                // session that a sink (maybe the lost one) is back.
                pa_context_set_subscribe_callback(context, &PulseAudioStream::serverEvent, self.get());
                const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SERVER |
                                                                      PA_SUBSCRIPTION_MASK_SINK);
                releaseOperation(pa_context_subscribe(context, mask, nullptr, nullptr));
            }
            self->perform(self->session_.connected());
            return;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            self->perform(self->session_.connectionLost(), pa_context_errno(context));
            return;
        default:
            return;
    }
}

void PulseAudioStream::serverEvent(pa_context*, pa_subscription_event_type_t type, uint32_t, void* userdata) {
    const auto self = static_cast<PulseAudioStream*>(userdata)->shared_from_this();
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        self->perform(self->session_.serverChanged());
    } else if (facility == PA_SUBSCRIPTION_EVENT_SINK && kind != PA_SUBSCRIPTION_EVENT_REMOVE) {
        self->perform(self->session_.sinkAppeared());
    }
}

void PulseAudioStream::askDefaultSink() {
    // A request that cannot be sent means the context is failing; its state callback ends
    // the session.
    track(pa_context_get_server_info(context_, &PulseAudioStream::serverInfoReceived, this));
}

void PulseAudioStream::track(pa_operation* operation) {
    // Finished requests are dropped; the pending ones are cancelled when the session ends,
    // since their answers would reach it.
    std::erase_if(pendingInfo_, [](pa_operation* pending) {
        if (pa_operation_get_state(pending) == PA_OPERATION_RUNNING) return false;
        pa_operation_unref(pending);
        return true;
    });
    if (operation != nullptr) pendingInfo_.push_back(operation);
}

void PulseAudioStream::serverInfoReceived(pa_context* context, const pa_server_info* info, void* userdata) {
    const auto self = static_cast<PulseAudioStream*>(userdata)->shared_from_this();
    if (info == nullptr) {
        self->perform(self->session_.defaultSinkNamed({}), pa_context_errno(context));
        return;
    }
    self->serverName_ = std::string(info->server_name != nullptr ? info->server_name : "unknown server") + " " +
                        (info->server_version != nullptr ? info->server_version : "");
    const std::string defaultSink = info->default_sink_name != nullptr ? info->default_sink_name : "";
    self->perform(self->session_.defaultSinkNamed(defaultSink), PA_ERR_NOENTITY, defaultSink.c_str());
}

void PulseAudioStream::lookUpSink(const char* name) {
    pa_operation* lookup = pa_context_get_sink_info_by_name(context_, name, &PulseAudioStream::sinkInfoReceived, this);
    if (lookup == nullptr) {
        perform(session_.sinkMissing(), pa_context_errno(context_));
        return;
    }
    track(lookup);
}

void PulseAudioStream::sinkInfoReceived(pa_context* context, const pa_sink_info* info, int eol, void* userdata) {
    if (eol > 0) return;  // closes the list after the one answer
    const auto self = static_cast<PulseAudioStream*>(userdata)->shared_from_this();
    if (info == nullptr || info->monitor_source_name == nullptr) {
        // The sink went away between the two answers.
        self->perform(self->session_.sinkMissing(), info == nullptr ? pa_context_errno(context) : PA_ERR_NOENTITY);
        return;
    }
    self->perform(self->session_.sinkFound(info->name), 0, info->monitor_source_name);
}

void PulseAudioStream::record(const char* source) {
    tearDownRecordStream();
    if (!connectRecordStream(source)) {
        perform(session_.streamLost(), pa_context_errno(context_));
        return;
    }
    if (sourceDidConnect_) sourceDidConnect_(serverName_, source);
}

pa_context* PulseAudioStream::newContext(pa_mainloop_api* api, const char* name) {
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Sonavista");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "sonavista");
    pa_context* context = pa_context_new_with_proplist(api, name, properties);
    pa_proplist_free(properties);
    return context;
}

pa_stream* PulseAudioStream::newRecordStream(pa_context* context, const char* name) {
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32LE;
    spec.rate = sampleRate;
    spec.channels = channelCount;
    pa_channel_map map;
    pa_channel_map_init_stereo(&map);
    return pa_stream_new(context, name, &spec, &map);
}

pa_buffer_attr PulseAudioStream::recordingBufferAttributes(const pa_sample_spec& spec) {
    pa_buffer_attr attributes{};
    attributes.maxlength = UINT32_MAX;
    attributes.tlength = UINT32_MAX;
    attributes.prebuf = UINT32_MAX;
    attributes.minreq = UINT32_MAX;
    attributes.fragsize = static_cast<std::uint32_t>(fragmentFrames * pa_frame_size(&spec));
    return attributes;
}

bool PulseAudioStream::connectRecordStream(const char* source) {
    stream_ = newRecordStream(context_, "System audio");
    if (stream_ == nullptr) return false;
    pa_stream_set_state_callback(stream_, &PulseAudioStream::streamStateChanged, this);
    pa_stream_set_read_callback(stream_, &PulseAudioStream::streamReadable, this);
    const pa_buffer_attr attributes = recordingBufferAttributes(*pa_stream_get_sample_spec(stream_));
    // Corked until started, so a stream set up for a capture that was meanwhile stopped
    // never delivers. Not movable: if its sink goes away the stream ends and is re-created
    // on the monitor of the default sink, rather than being moved to an arbitrary source
    // (the session manager would pick the default input).
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                                                (started_ && !paused_ ? 0 : PA_STREAM_START_CORKED));
    if (pa_stream_connect_record(stream_, source, &attributes, flags) < 0) {
        tearDownRecordStream();
        return false;
    }
    return true;
}

void PulseAudioStream::streamStateChanged(pa_stream* stream, void* userdata) {
    const auto self = static_cast<PulseAudioStream*>(userdata)->shared_from_this();
    if (stream != self->stream_) return;
    switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            // Paused or resumed while the server was creating it (a relink), when it could
            // not be corked yet.
            if (self->started_) releaseOperation(pa_stream_cork(stream, self->paused_ ? 1 : 0, nullptr, nullptr));
            self->perform(self->session_.streamReady());
            return;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            self->perform(self->session_.streamLost(), pa_context_errno(self->context_));
            return;
        default: return;
    }
}

void PulseAudioStream::streamReadable(pa_stream* stream, size_t readable, void* userdata) {
    const auto self = static_cast<PulseAudioStream*>(userdata)->shared_from_this();
    // `readable` is everything the stream holds now, and nothing new can arrive while this
    // callback runs on the loop thread, so it bounds the loop without asking the stream
    // again: a fragment costs one peek and one drop (every libpulse stream call checks for
    // a fork with a getpid system call, 50 fragments a second).
    while (readable > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
        if (data != nullptr) {  // null data with a size is a hole in the record: skip it
            AudioSampleBuffer buffer;
            buffer.sampleSpec = SampleSpec{.format = SampleFormat::float32, .channels = channelCount};
            buffer.buffers.push_back({static_cast<const std::byte*>(data), bytes});
            self->handlers_.bufferDidArrive(buffer);
            // The owner may have stopped the session from inside the handler, which let
            // go of the stream.
            if (self->stream_ != stream) return;
        }
        pa_stream_drop(stream);
        readable -= std::min(readable, bytes);
    }
}

void PulseAudioStream::waitForSink() {
    tearDownRecordStream();
    if (waitTimer_ == nullptr) {
        waitTimer_ = pa_context_rttime_new(context_, pa_rtclock_now() + sinkReturnWaitMicroseconds,
                                           &PulseAudioStream::waitExpired, this);
        if (waitTimer_ == nullptr) {
            perform(session_.waitExpired(), PA_ERR_NOENTITY);
            return;
        }
    }
    askDefaultSink();
}

void PulseAudioStream::waitExpired(pa_mainloop_api* api, pa_time_event* event, const struct timeval*, void* userdata) {
    const auto self = static_cast<PulseAudioStream*>(userdata)->shared_from_this();
    api->time_free(event);
    self->waitTimer_ = nullptr;
    self->perform(self->session_.waitExpired(), PA_ERR_NOENTITY);
}

void PulseAudioStream::cancelWait() {
    if (waitTimer_ != nullptr) loop_->api()->time_free(std::exchange(waitTimer_, nullptr));
}

pa_stream* PulseAudioStream::detachRecordStream() {
    if (stream_ == nullptr) return nullptr;
    pa_stream* stream = std::exchange(stream_, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) pa_stream_disconnect(stream);
    return stream;
}

void PulseAudioStream::tearDownRecordStream() {
    pa_stream* stream = detachRecordStream();
    if (stream == nullptr) return;
    if (loop_->isCurrent()) {
        releaseLater(loop_->api(), stream, nullptr);
    } else {
        release(stream, nullptr);
    }
}

void PulseAudioStream::end() {
    cancelWait();
    pa_stream* stream = detachRecordStream();
    for (pa_operation* operation : pendingInfo_) {
        pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    pendingInfo_.clear();
    pa_context* context = std::exchange(context_, nullptr);
    if (context != nullptr) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
    }
    const bool holdsAny = stream != nullptr || context != nullptr;  // not when stopped after ending
    if (holdsAny && loop_->isCurrent()) {
        releaseLater(loop_->api(), stream, context);
    } else if (holdsAny) {
        release(stream, context);
    }
    // The caller still holds a reference (a callback's, `open`'s or the owner's handle's),
    // so the session outlives this call.
    self_.reset();
}

}  // namespace sonavista
