#pragma once

#include "PrivatePulseServer.h"
#include "audio/AudioCaptureBackend.h"
#include "audio/SystemAudioLevelMonitor.h"
#include "base/ManualMainQueue.h"
#include "base/SteadyClock.h"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace sonavista::testing {

// A monitor on a real capture backend whose main queue is pumped on real time; its frames,
// failures and scope reports are recorded with their arrival (seconds since it was made).
struct MonitoredCapture {
    explicit MonitoredCapture(std::shared_ptr<AudioCaptureBackend> backend)
        : monitor(SystemAudioLevelMonitor::create(
              [this](const AudioVisualizationFrame& f) { frames.emplace_back(elapsed(), f); },
              [this](AudioCaptureFailure f) { failures.emplace_back(elapsed(), f); }, mainQueue, std::move(backend),
              clock)) {
        monitor->onScopeChange([this](bool playerOnly) { scopes.emplace_back(elapsed(), playerOnly); });
    }

    double elapsed() const { return clock->now() - origin; }
    // Runs the main queue in real time until `done` holds or `seconds` have passed.
    bool pumpUntil(const std::function<bool()>& done, double seconds) {
        return eventually(
            [&] {
                mainQueue.advance(elapsed() - mainQueue.now());  // timers on real time
                mainQueue.runPending();
                return done();
            },
            std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
    }
    void pump(double seconds) { pumpUntil([] { return false; }, seconds); }
    double peakSince(double start) const {
        double peak = 0.0;
        for (const auto& [time, frame] : frames) peak = time >= start ? std::max(peak, frame.level) : peak;
        return peak;
    }

    ManualMainQueue mainQueue;
    std::shared_ptr<SteadyClock> clock = std::make_shared<SteadyClock>();
    const double origin = clock->now();
    std::vector<std::pair<double, AudioVisualizationFrame>> frames;
    std::vector<std::pair<double, AudioCaptureFailure>> failures;
    std::vector<std::pair<double, bool>> scopes;
    std::shared_ptr<SystemAudioLevelMonitor> monitor;  // last: made from the members above
};

}  // namespace sonavista::testing
