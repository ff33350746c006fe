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

}  // namespace

void PulseAudioStream::open(std::shared_ptr<PulseAudioMainLoop> loop, AudioCaptureBackend::Handlers handlers,
                            PulseAudioCapture::SourceDidConnect sourceDidConnect) {
    auto* session = new PulseAudioStream(loop, std::move(handlers), std::move(sourceDidConnect));
    loop->locked([&] {
        pa_proplist* properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Sonavista");
        pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "sonavista");
        session->context_ = pa_context_new_with_proplist(loop->api(), "Sonavista", properties);
        pa_proplist_free(properties);
        if (session->context_ == nullptr) {
            session->failToOpen(PA_ERR_INTERNAL);
            return;
        }
        // Never start a sound server: when none answers, capture is unavailable.
        if (pa_context_connect(session->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            session->failToOpen(pa_context_errno(session->context_));
            return;
        }
        // Set after connecting so that a failure inside pa_context_connect is handled once,
        // here, rather than also by the callback. Later changes arrive on the loop thread,
        // which cannot run before this lock is released.
        pa_context_set_state_callback(session->context_, &PulseAudioStream::contextStateChanged, session);
        contextStateChanged(session->context_, session);
    });
}

PulseAudioStream::PulseAudioStream(std::shared_ptr<PulseAudioMainLoop> loop, AudioCaptureBackend::Handlers handlers,
                                   PulseAudioCapture::SourceDidConnect sourceDidConnect)
    : loop_(std::move(loop)),
      handlers_(std::make_shared<const AudioCaptureBackend::Handlers>(std::move(handlers))),
      sourceDidConnect_(std::move(sourceDidConnect)) {}

PulseAudioStream::~PulseAudioStream() { stop(); }

void PulseAudioStream::start() {
    loop_->locked([&] {
        if (stopped_ || started_) return;
        started_ = true;
        if (stream_ != nullptr) releaseOperation(pa_stream_cork(stream_, 0, nullptr, nullptr));
    });
}

void PulseAudioStream::stop() {
    loop_->locked([&] {
        if (stopped_) return;
        stopped_ = true;
        tearDown();
    });
}

void PulseAudioStream::contextStateChanged(pa_context* context, void* userdata) {
    auto* self = static_cast<PulseAudioStream*>(userdata);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            if (self->opened_ || self->stream_ != nullptr) return;
            pa_context_set_subscribe_callback(context, &PulseAudioStream::serverEvent, self);
            releaseOperation(pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr));
            // The first server info names the default sink; the stream is created then.
            self->requestServerInfo();
            return;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            if (!self->opened_) {
                self->failToOpen(pa_context_errno(context));
            } else {
                self->reportStopped();  // the server went away while capturing
            }
            return;
        default:
            return;
    }
}

void PulseAudioStream::serverEvent(pa_context*, pa_subscription_event_type_t type, uint32_t, void* userdata) {
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER) {
        static_cast<PulseAudioStream*>(userdata)->requestServerInfo();
    }
}

void PulseAudioStream::requestServerInfo() {
    track(pa_context_get_server_info(context_, &PulseAudioStream::serverInfoReceived, this));
}

void PulseAudioStream::track(pa_operation* operation) {
    // Finished requests are dropped; the pending ones are cancelled on tear-down, since
    // their answers would reach this session.
    std::erase_if(pendingInfo_, [](pa_operation* pending) {
        if (pa_operation_get_state(pending) == PA_OPERATION_RUNNING) return false;
        pa_operation_unref(pending);
        return true;
    });
    if (operation != nullptr) pendingInfo_.push_back(operation);
}

void PulseAudioStream::serverInfoReceived(pa_context* context, const pa_server_info* info, void* userdata) {
    auto* self = static_cast<PulseAudioStream*>(userdata);
    if (self->stopped_) return;
    if (info == nullptr) {
        if (self->stream_ == nullptr) self->loseDefaultSink(pa_context_errno(context));
        return;
    }
    self->serverName_ = std::string(info->server_name != nullptr ? info->server_name : "unknown server") + " " +
                        (info->server_version != nullptr ? info->server_version : "");
    const std::string defaultSink = info->default_sink_name != nullptr ? info->default_sink_name : "";
    if (defaultSink == self->sinkName_ && (self->opened_ || self->stream_ != nullptr)) {
        // Nothing moved. A stream that was lost meanwhile cannot be recovered.
        if (self->stream_ == nullptr) self->loseDefaultSink(PA_ERR_NOENTITY);
        return;
    }
    // The first answer, or the user switched the output device: look up the monitor of the
    // (new) default sink. A server without sinks may still name a default that does not
    // exist; the lookup then fails.
    pa_operation* lookup =
        defaultSink.empty()
            ? nullptr
            : pa_context_get_sink_info_by_name(context, defaultSink.c_str(), &PulseAudioStream::sinkInfoReceived, self);
    if (lookup == nullptr) {
        if (self->stream_ == nullptr) self->loseDefaultSink(PA_ERR_NOENTITY);
        return;
    }
    self->track(lookup);
}

void PulseAudioStream::sinkInfoReceived(pa_context* context, const pa_sink_info* info, int eol, void* userdata) {
    auto* self = static_cast<PulseAudioStream*>(userdata);
    if (self->stopped_ || eol > 0) return;  // eol > 0 closes the list after the one answer
    if (info == nullptr || info->monitor_source_name == nullptr) {
        // The sink went away between the two answers. A stream still recording another
        // sink goes on; the server's next change event names the next default.
        if (self->stream_ == nullptr) self->loseDefaultSink(info == nullptr ? pa_context_errno(context) : PA_ERR_NOENTITY);
        return;
    }
    if (self->stream_ != nullptr && self->sinkName_ == info->name) return;  // already recording it
    self->sinkName_ = info->name;
    self->tearDownRecordStream();
    if (!self->connectRecordStream(info->monitor_source_name)) {
        self->loseDefaultSink(pa_context_errno(context));
        return;
    }
    self->graceSpent_ = false;  // a later loss gets its grace again
    if (self->sourceDidConnect_) self->sourceDidConnect_(self->serverName_, info->monitor_source_name);
}

void PulseAudioStream::loseDefaultSink(int error) {
    if (!opened_) {
        failToOpen(error);
    } else if (!graceSpent_) {
        if (graceTimer_ == nullptr) {
            graceTimer_ = pa_context_rttime_new(context_, pa_rtclock_now() + graceMicroseconds,
                                                &PulseAudioStream::graceExpired, this);
        }
        if (graceTimer_ == nullptr) reportStopped();
    } else {
        reportStopped();
    }
}

void PulseAudioStream::graceExpired(pa_mainloop_api* api, pa_time_event* event, const struct timeval*, void* userdata) {
    auto* self = static_cast<PulseAudioStream*>(userdata);
    api->time_free(event);
    self->graceTimer_ = nullptr;
    if (self->stopped_ || self->stream_ != nullptr) return;
    // A last look: a new default is recorded; still none reports the stop.
    self->graceSpent_ = true;
    self->requestServerInfo();
}

bool PulseAudioStream::connectRecordStream(const char* source) {
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32LE;
    spec.rate = sampleRate;
    spec.channels = channelCount;
    pa_channel_map map;
    pa_channel_map_init_stereo(&map);

    stream_ = pa_stream_new(context_, "System audio", &spec, &map);
    if (stream_ == nullptr) return false;
    pa_stream_set_state_callback(stream_, &PulseAudioStream::streamStateChanged, this);
    pa_stream_set_read_callback(stream_, &PulseAudioStream::streamReadable, this);

    pa_buffer_attr attributes{};
    attributes.maxlength = UINT32_MAX;
    attributes.tlength = UINT32_MAX;
    attributes.prebuf = UINT32_MAX;
    attributes.minreq = UINT32_MAX;
    attributes.fragsize = static_cast<std::uint32_t>(fragmentFrames * pa_frame_size(&spec));
    // Corked until started, so a stream set up for a capture that was meanwhile stopped
    // never delivers. Not movable: if its sink goes away the stream ends and is re-created
    // on the new default's monitor rather than being moved to an arbitrary source (the
    // session manager would pick the default input).
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                                                (started_ ? 0 : PA_STREAM_START_CORKED));
    if (pa_stream_connect_record(stream_, source, &attributes, flags) < 0) {
        tearDownRecordStream();
        return false;
    }
    return true;
}

void PulseAudioStream::streamStateChanged(pa_stream* stream, void* userdata) {
    auto* self = static_cast<PulseAudioStream*>(userdata);
    if (stream != self->stream_) return;
    switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            if (!self->opened_) {
                self->opened_ = true;
                auto handlers = self->handlers_;
                handlers->streamDidOpen(std::unique_ptr<AudioCaptureStream>(self));
            }
            return;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            if (!self->opened_) {
                self->failToOpen(pa_context_errno(self->context_));
                return;
            }
            // The source went away. If the default sink changed with it, the server info
            // answer re-creates the stream; otherwise it reports the stop.
            self->tearDownRecordStream();
            self->requestServerInfo();
            return;
        default:
            return;
    }
}

void PulseAudioStream::streamReadable(pa_stream* stream, size_t readable, void* userdata) {
    auto* self = static_cast<PulseAudioStream*>(userdata);
    const std::weak_ptr<int> alive = self->alive_;
    const auto handlers = self->handlers_;
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
            handlers->bufferDidArrive(buffer);
            // The owner may have stopped or released the session from inside the handler.
            if (alive.expired() || self->stream_ != stream) return;
        }
        pa_stream_drop(stream);
        readable -= std::min(readable, bytes);
    }
}

void PulseAudioStream::failToOpen(int error) {
    const auto handlers = handlers_;
    const AudioCaptureFailure failure = failureForError(error);
    stopped_ = true;
    tearDown();
    delete this;
    handlers->streamDidFailToOpen(failure);
}

void PulseAudioStream::reportStopped() {
    if (stopped_ || reportedStop_) return;
    reportedStop_ = true;
    const auto handlers = handlers_;
    handlers->streamDidStopWithError();
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

void PulseAudioStream::tearDown() {
    if (graceTimer_ != nullptr) loop_->api()->time_free(std::exchange(graceTimer_, nullptr));
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
    if (loop_->isCurrent()) {
        releaseLater(loop_->api(), stream, context);
    } else {
        release(stream, context);
    }
}

}  // namespace sonavista
