#pragma once

#include "audio/OutputLatencySource.h"

#include <memory>
#include <optional>
#include <string>

namespace sonavista {

// Output latency from PipeWire's own interface. PipeWire's PulseAudio service reports every
// output's latency as 0, a Bluetooth headset's included; PipeWire itself publishes it on each
// audio sink's input ports: the latency downstream of the port, which is the device's buffer
// for a sound card and the codec and transport delay for a Bluetooth sink, and 0 for a
// virtual output.
//
// On construction it connects to the user's PipeWire on a thread of its own and follows the
// audio sinks and their input ports as PipeWire announces them and their latency changes.
// Without PipeWire at construction (a PulseAudio system) it knows nothing and costs nothing
// further. When PipeWire goes away it forgets what it learnt and connects again, every two
// seconds, until PipeWire is back.
class PipeWireOutputLatency final : public OutputLatencySource {
public:
    PipeWireOutputLatency();
    ~PipeWireOutputLatency() override;
    PipeWireOutputLatency(const PipeWireOutputLatency&) = delete;
    PipeWireOutputLatency& operator=(const PipeWireOutputLatency&) = delete;

    // The largest latency of the sink's input ports.
    std::optional<double> latencyOf(const std::string& sinkName) const override;

    // Whether PipeWire answered at construction.
    bool connected() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sonavista
