#pragma once

#include "app/AudioLevelMonitor.h"
#include "audio/SystemAudioLevelMonitor.h"

#include <memory>

namespace sonavista {

// The system audio monitor behind the application's capture port.
class CaptureMonitorAdapter final : public AudioLevelMonitor {
public:
    explicit CaptureMonitorAdapter(std::shared_ptr<SystemAudioLevelMonitor> monitor) : monitor_(std::move(monitor)) {}
    void start() override { monitor_->start(); }
    void stop() override { monitor_->stop(); }

private:
    std::shared_ptr<SystemAudioLevelMonitor> monitor_;
};

}  // namespace sonavista
