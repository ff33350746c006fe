#include "audio/PipeWireOutputLatency.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

// PipeWire's method macros are GNU statement expressions, which clang's -Wpedantic reports
// where they are expanded.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wgnu-statement-expression"
#endif
#include <pipewire/pipewire.h>
#include <spa/param/latency-utils.h>

namespace sonavista {

namespace {

// A port's latency is counted in graph cycles, frames and nanoseconds. Cycles and frames are
// turned into time at the graph's default rate and cycle length, which a desktop rarely
// changes; a Bluetooth sink states its delay in nanoseconds, a sound card in frames and a cycle.
constexpr double graphRate = 48000.0;
constexpr double graphQuantum = 1024.0;

double seconds(const spa_latency_info& info) {
    return static_cast<double>(info.max_quantum) * graphQuantum / graphRate +
           static_cast<double>(info.max_rate) / graphRate + static_cast<double>(info.max_ns) / 1e9;
}

const char* lookup(const spa_dict* props, const char* key) { return props != nullptr ? spa_dict_lookup(props, key) : nullptr; }

}  // namespace

// The registry and port events run on PipeWire's thread; `latencyOf` on any thread. What both
// read (`sinkNames`, each port's node and latency) is guarded by `mutex`.
struct PipeWireOutputLatency::Impl {
    // A bound input port whose latency is followed.
    struct Port {
        Impl* owner = nullptr;
        std::uint32_t nodeId = 0;
        double downstream = 0.0;
        pw_proxy* proxy = nullptr;
        spa_hook listener{};
        ~Port() {
            if (proxy == nullptr) return;
            spa_hook_remove(&listener);
            pw_proxy_destroy(proxy);
        }
    };

    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    spa_hook coreListener{};
    pw_registry* registry = nullptr;
    spa_hook registryListener{};
    spa_source* retry = nullptr;  // reconnects after PipeWire went away
    std::map<std::uint32_t, std::string> sinkNames;  // node id -> node name, audio sinks only
    // Every node's input ports, bound when announced: a port may come before its node.
    std::map<std::uint32_t, std::unique_ptr<Port>> ports;  // held by pointer: listeners point at them
    mutable std::mutex mutex;

    static const pw_core_events coreEvents;
    static const pw_registry_events registryEvents;
    static const pw_port_events portEvents;

    // Connects and starts following the registry; whether that worked.
    bool connect() {
        core = pw_context_connect(context, nullptr, 0);
        if (core == nullptr) return false;
        pw_core_add_listener(core, &coreListener, &coreEvents, this);
        registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
        if (registry == nullptr) return false;
        pw_registry_add_listener(registry, &registryListener, &registryEvents, this);
        return true;
    }

    // Forgets the connection and what was learnt through it.
    void disconnect() {
        {
            const std::lock_guard lock(mutex);
            sinkNames.clear();
            ports.clear();
        }
        if (registry != nullptr) {
            spa_hook_remove(&registryListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(std::exchange(registry, nullptr)));
        }
        if (core != nullptr) {
            spa_hook_remove(&coreListener);
            pw_core_disconnect(std::exchange(core, nullptr));
        }
    }

    void retryIn(int seconds) {
        timespec delay{seconds, 0};
        pw_loop_update_timer(pw_thread_loop_get_loop(loop), retry, &delay, nullptr, false);
    }

    // PipeWire restarted (a user restarting their sound often does): the latencies learnt are
    // stale, so they are dropped at once, and the new PipeWire is followed once it answers.
    // The connection is replaced from the timer, not from within the core's own event.
    void lost() {
        {
            const std::lock_guard lock(mutex);
            sinkNames.clear();
        }
        retryIn(1);
    }

    void reconnect() {
        disconnect();
        if (!connect()) retryIn(2);
    }

    void global(std::uint32_t id, const char* type, const spa_dict* props) {
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
            const char* mediaClass = lookup(props, PW_KEY_MEDIA_CLASS);
            const char* name = lookup(props, PW_KEY_NODE_NAME);
            if (mediaClass == nullptr || name == nullptr || std::strcmp(mediaClass, "Audio/Sink") != 0) return;
            const std::lock_guard lock(mutex);
            sinkNames[id] = name;
            return;
        }
        if (std::strcmp(type, PW_TYPE_INTERFACE_Port) != 0) return;
        const char* direction = lookup(props, PW_KEY_PORT_DIRECTION);
        const char* node = lookup(props, PW_KEY_NODE_ID);
        if (direction == nullptr || node == nullptr || std::strcmp(direction, "in") != 0) return;
        auto port = std::make_unique<Port>();
        port->owner = this;
        port->nodeId = static_cast<std::uint32_t>(std::strtoul(node, nullptr, 10));
        port->proxy = static_cast<pw_proxy*>(pw_registry_bind(registry, id, PW_TYPE_INTERFACE_Port, PW_VERSION_PORT, 0));
        if (port->proxy == nullptr) return;
        auto* bound = reinterpret_cast<pw_port*>(port->proxy);
        pw_port_add_listener(bound, &port->listener, &portEvents, port.get());
        // The current latency comes as a first event, each change as another.
        std::uint32_t ids[] = {SPA_PARAM_Latency};
        pw_port_subscribe_params(bound, ids, 1);
        const std::lock_guard lock(mutex);
        ports[id] = std::move(port);
    }

    void globalRemoved(std::uint32_t id) {
        std::unique_ptr<Port> gone;
        const std::lock_guard lock(mutex);
        sinkNames.erase(id);
        if (auto it = ports.find(id); it != ports.end()) {
            gone = std::move(it->second);
            ports.erase(it);
        }
    }

    void portLatency(Port& port, const spa_pod* param) {
        spa_latency_info info{};
        if (param == nullptr || spa_latency_parse(param, &info) < 0) return;
        // An input port's latency in the input direction is the time from it to where the
        // sound leaves the graph: what a listener hears later than the sink's monitor carries.
        if (info.direction != SPA_DIRECTION_INPUT) return;
        const std::lock_guard lock(mutex);
        port.downstream = seconds(info);
    }

    void teardown() {
        if (loop != nullptr) pw_thread_loop_stop(loop);
        disconnect();
        if (retry != nullptr) pw_loop_destroy_source(pw_thread_loop_get_loop(loop), std::exchange(retry, nullptr));
        if (context != nullptr) pw_context_destroy(std::exchange(context, nullptr));
        if (loop != nullptr) pw_thread_loop_destroy(std::exchange(loop, nullptr));
    }
};

const pw_core_events PipeWireOutputLatency::Impl::coreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = [](void* data, std::uint32_t id, int, int res, const char*) {
        if (id == PW_ID_CORE && res == -EPIPE) static_cast<Impl*>(data)->lost();
    };
    return events;
}();

const pw_registry_events PipeWireOutputLatency::Impl::registryEvents = [] {
    pw_registry_events events{};
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global = [](void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
                       const spa_dict* props) { static_cast<Impl*>(data)->global(id, type, props); };
    events.global_remove = [](void* data, std::uint32_t id) { static_cast<Impl*>(data)->globalRemoved(id); };
    return events;
}();

const pw_port_events PipeWireOutputLatency::Impl::portEvents = [] {
    pw_port_events events{};
    events.version = PW_VERSION_PORT_EVENTS;
    events.param = [](void* data, int, std::uint32_t id, std::uint32_t, std::uint32_t, const spa_pod* param) {
        auto* port = static_cast<Port*>(data);
        if (id == SPA_PARAM_Latency) port->owner->portLatency(*port, param);
    };
    return events;
}();

PipeWireOutputLatency::PipeWireOutputLatency() : impl_(std::make_unique<Impl>()) {
    pw_init(nullptr, nullptr);
    Impl& impl = *impl_;
    impl.loop = pw_thread_loop_new("sonavista-pw", nullptr);
    if (impl.loop != nullptr) impl.context = pw_context_new(pw_thread_loop_get_loop(impl.loop), nullptr, 0);
    if (impl.context != nullptr) {
        pw_thread_loop_lock(impl.loop);
        impl.retry = pw_loop_add_timer(
            pw_thread_loop_get_loop(impl.loop), [](void* data, std::uint64_t) { static_cast<Impl*>(data)->reconnect(); },
            &impl);
        if (impl.retry != nullptr && pw_thread_loop_start(impl.loop) == 0 && !impl.connect()) impl.disconnect();
        pw_thread_loop_unlock(impl.loop);
    }
    if (impl.registry == nullptr) impl.teardown();  // no PipeWire here: nothing to follow
}

PipeWireOutputLatency::~PipeWireOutputLatency() { impl_->teardown(); }

// The loop is kept from construction to destruction only when PipeWire answered.
bool PipeWireOutputLatency::connected() const { return impl_->loop != nullptr; }

std::optional<double> PipeWireOutputLatency::latencyOf(const std::string& sinkName) const {
    const std::lock_guard lock(impl_->mutex);
    const auto sink = std::find_if(impl_->sinkNames.begin(), impl_->sinkNames.end(),
                                   [&](const auto& entry) { return entry.second == sinkName; });
    if (sink == impl_->sinkNames.end()) return std::nullopt;
    double latency = 0.0;
    for (const auto& [id, port] : impl_->ports) {
        if (port->nodeId == sink->first) latency = std::max(latency, port->downstream);
    }
    return latency;
}

}  // namespace sonavista
