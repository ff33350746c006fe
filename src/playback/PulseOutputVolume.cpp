#include "playback/PulseOutputVolume.h"

#include "audio/PulseAudioMainLoop.h"

#include <pulse/pulseaudio.h>

#include <sys/time.h>

#include <string>
#include <utility>

namespace sonavista {

namespace {

double clampedVolume(const pa_cvolume& volume) {
    if (!pa_cvolume_valid(&volume)) {
        return 1.0;
    }
    double level = static_cast<double>(pa_cvolume_avg(&volume)) / static_cast<double>(PA_VOLUME_NORM);
    return level <= 0.0 ? 0.0 : (level > 1.0 ? 1.0 : level);
}

}  // namespace

// The C callbacks of the PulseAudio thread.
struct PulseOutputVolume::Callbacks {
    static void onContextState(pa_context* context, void* self);
    static void onEvent(pa_context* context, pa_subscription_event_type_t facility, uint32_t index, void* self);
    static void onReconnect(pa_mainloop_api* api, pa_time_event* event, const timeval* when, void* self);
};

PulseOutputVolume::PulseOutputVolume(std::string applicationName)
    : applicationName_(std::move(applicationName)), loop_(PulseAudioMainLoop::create("sonavista-volume")) {
    if (loop_) loop_->locked([this] { connect(); });
}

PulseOutputVolume::~PulseOutputVolume() {
    if (!loop_) {
        return;
    }
    loop_->locked([this] {
        if (reconnectEvent_ != nullptr) {
            loop_->api()->time_free(reconnectEvent_);
            reconnectEvent_ = nullptr;
        }
        if (context_ != nullptr) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_set_subscribe_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
    });
}

double PulseOutputVolume::systemOutputVolume() { return volume_.load(); }

void PulseOutputVolume::connect() {
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, applicationName_.c_str());
    context_ = pa_context_new_with_proplist(loop_->api(), applicationName_.c_str(), properties);
    pa_proplist_free(properties);
    if (context_ == nullptr) {
        scheduleReconnect();
        return;
    }
    pa_context_set_state_callback(context_, &Callbacks::onContextState, this);
    pa_context_set_subscribe_callback(context_, &Callbacks::onEvent, this);
    // A connection that fails at once may already have been dropped by the state callback.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 && context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_unref(context_);
        context_ = nullptr;
        scheduleReconnect();
    }
}

void PulseOutputVolume::scheduleReconnect() {
    timeval when{};
    gettimeofday(&when, nullptr);
    pa_timeval_add(&when, static_cast<pa_usec_t>(reconnectSeconds * PA_USEC_PER_SEC));
    pa_mainloop_api* api = loop_->api();
    if (reconnectEvent_ != nullptr) {
        api->time_restart(reconnectEvent_, &when);
    } else {
        reconnectEvent_ = api->time_new(api, &when, &Callbacks::onReconnect, this);
    }
}

void PulseOutputVolume::Callbacks::onReconnect(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* self) {
    auto* monitor = static_cast<PulseOutputVolume*>(self);
    api->time_free(event);
    monitor->reconnectEvent_ = nullptr;
    if (monitor->context_ == nullptr) {
        monitor->connect();
    }
}

void PulseOutputVolume::Callbacks::onContextState(pa_context* context, void* self) {
    auto* monitor = static_cast<PulseOutputVolume*>(self);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY: {
            monitor->connected_.store(true);
            auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
            if (pa_operation* operation = pa_context_subscribe(context, mask, nullptr, nullptr)) {
                pa_operation_unref(operation);
            }
            monitor->refresh();
            break;
        }
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            monitor->connected_.store(false);
            monitor->volume_.store(1.0);
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_set_subscribe_callback(context, nullptr, nullptr);
            pa_context_unref(context);
            monitor->context_ = nullptr;
            monitor->scheduleReconnect();
            break;
        default:
            break;
    }
}

void PulseOutputVolume::Callbacks::onEvent(pa_context*, pa_subscription_event_type_t facility, uint32_t, void* self) {
    auto kind = facility & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (kind == PA_SUBSCRIPTION_EVENT_SINK || kind == PA_SUBSCRIPTION_EVENT_SERVER) {
        static_cast<PulseOutputVolume*>(self)->refresh();
    }
}

void PulseOutputVolume::refresh() {
    // The default sink's name first, then that sink's volume.
    auto onServer = [](pa_context* context, const pa_server_info* info, void* self) {
        auto* monitor = static_cast<PulseOutputVolume*>(self);
        if (info == nullptr || info->default_sink_name == nullptr) {
            monitor->volume_.store(1.0);
            return;
        }
        auto onSink = [](pa_context*, const pa_sink_info* sink, int eol, void* self) {
            auto* monitor = static_cast<PulseOutputVolume*>(self);
            if (eol < 0) {
                monitor->volume_.store(1.0);
            } else if (eol == 0 && sink != nullptr) {
                monitor->volume_.store(clampedVolume(sink->volume));
            }
        };
        if (pa_operation* operation = pa_context_get_sink_info_by_name(context, info->default_sink_name, onSink, self)) {
            pa_operation_unref(operation);
        }
    };
    if (pa_operation* operation = pa_context_get_server_info(context_, onServer, this)) {
        pa_operation_unref(operation);
    }
}

}  // namespace sonavista
