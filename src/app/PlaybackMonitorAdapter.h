#pragma once

#include "app/PlaybackMonitorControl.h"
#include "playback/MusicPlaybackMonitor.h"

#include <memory>

namespace sonavista {

// The playback monitor behind the application's port.
class PlaybackMonitorAdapter final : public PlaybackMonitorControl {
public:
    explicit PlaybackMonitorAdapter(std::shared_ptr<MusicPlaybackMonitor> monitor) : monitor_(std::move(monitor)) {}
    void start() override { monitor_->start(); }
    void stop() override { monitor_->stop(); }
    void discardQueryInFlight() override {
        monitor_->queryGeneration += 1;
        monitor_->queryIsInFlight = false;
    }
    void checkPlaybackState() override { monitor_->checkPlaybackState(); }

private:
    std::shared_ptr<MusicPlaybackMonitor> monitor_;
};

}  // namespace sonavista
