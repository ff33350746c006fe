#pragma once

#include <optional>
#include <string>

namespace sonavista {

// The latency of an output (a sink, by the name the PulseAudio protocol gives it) as a sound
// server's own interface reports it: how long after the output's monitor carries a sound the
// device plays it. For servers whose PulseAudio service leaves that figure out.
//
// `latencyOf` may be called from any thread, at any time after construction; it answers from
// what the source has already learnt and never waits for the server.
class OutputLatencySource {
public:
    virtual ~OutputLatencySource() = default;
    // Seconds, or nothing when the source does not know the output (yet).
    virtual std::optional<double> latencyOf(const std::string& sinkName) const = 0;
};

}  // namespace sonavista
