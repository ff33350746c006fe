#include "audio/SystemAudioLevelMonitor.h"

#include "base/WeakCallback.h"

#include <algorithm>
#include <utility>

namespace sonavista {

std::shared_ptr<SystemAudioLevelMonitor> SystemAudioLevelMonitor::create(FrameDidChange frameDidChange,
                                                                         CaptureDidFail captureDidFail,
                                                                         MainQueue& mainQueue,
                                                                         std::shared_ptr<AudioCaptureBackend> backend,
                                                                         std::shared_ptr<const Clock> clock,
                                                                         std::shared_ptr<FrameTicks> frameTicks) {
    auto monitor = std::make_shared<SystemAudioLevelMonitor>(Key{}, std::move(frameDidChange),
                                                             std::move(captureDidFail), mainQueue,
                                                             std::move(backend), std::move(clock));
    const std::weak_ptr<SystemAudioLevelMonitor> weak = monitor;
    AudioFrameAnalyzer::Hooks hooks;
    // The analyser only publishes from `handleBuffer`, whose caller holds the monitor.
    hooks.publish = [raw = monitor.get()](const AudioVisualizationFrame& frame) { raw->publish(frame); };
    hooks.reportFailure = weakCallback(weak, [](SystemAudioLevelMonitor& self, AudioCaptureFailure failure) {
        self.reportFailure(failure);
    });
    monitor->analyzer_ = std::make_unique<AudioFrameAnalyzer>(*monitor->clock_, std::move(hooks));
    monitor->frameTicks_ = std::move(frameTicks);
    return monitor;
}

SystemAudioLevelMonitor::SystemAudioLevelMonitor(Key, FrameDidChange frameDidChange, CaptureDidFail captureDidFail,
                                                 MainQueue& mainQueue, std::shared_ptr<AudioCaptureBackend> backend,
                                                 std::shared_ptr<const Clock> clock)
    : frameDidChange_(std::move(frameDidChange)),
      captureDidFail_(std::move(captureDidFail)),
      mainQueue_(mainQueue),
      backend_(std::move(backend)),
      clock_(std::move(clock)) {}

SystemAudioLevelMonitor::~SystemAudioLevelMonitor() {
    // No callback can be running here: each holds the monitor strongly while it runs.
    if (stream_) stream_->stop();
}

void SystemAudioLevelMonitor::start() {
    std::uint64_t attempt = 0;
    {
        std::lock_guard lock(mutex_);
        if (captureRequested_.load()) return;
        // The silence timer counts from here, before any buffer can arrive.
        analyzer_->beginCapture();
        captureRequested_.store(true);
        attempt = ++attempt_;
    }

    listenToFrameTicks();
    const std::weak_ptr<SystemAudioLevelMonitor> weak = weak_from_this();
    AudioCaptureBackend::Handlers handlers;
    handlers.streamDidOpen = [weak, attempt](std::unique_ptr<AudioCaptureStream> stream) {
        if (auto self = weak.lock()) self->streamDidOpen(attempt, std::move(stream));
        // Otherwise the stream is released here, unstarted.
    };
    handlers.streamDidFailToOpen = [weak, attempt](AudioCaptureFailure failure) {
        if (auto self = weak.lock()) self->reportFailure(failure, attempt);
    };
    handlers.bufferDidArrive = [weak](const AudioSampleBuffer& buffer) {
        if (auto self = weak.lock()) self->handleBuffer(buffer);
    };
    handlers.streamDidStopWithError = [weak, attempt] {
        if (auto self = weak.lock()) self->reportFailure(AudioCaptureFailure::unavailable, attempt);
    };
    handlers.scopeDidChange = [weak, attempt](bool playerOnly) {
        const auto self = weak.lock();
        if (!self) return;
        self->mainQueue_.post([weak, attempt, playerOnly] {
            const auto self = weak.lock();
            if (!self || !self->captureRequested_.load() || !self->scopeDidChange_) return;
            {
                std::lock_guard lock(self->mutex_);
                if (attempt != self->attempt_) return;
            }
            self->scopeDidChange_(playerOnly);
        });
    };
    handlers.outputLatencyDidChange = [weak](double seconds) {
        if (auto self = weak.lock()) self->outputLatency_.store(std::max(seconds, 0.0));
    };
    backend_->openStream(std::move(handlers));
    watchForSilence(attempt, AudioFrameAnalyzer::silenceTimeout);
}

void SystemAudioLevelMonitor::watchForSilence(std::uint64_t attempt, double delaySeconds) {
    mainQueue_.cancel(silenceTimer_);
    silenceTimer_ = mainQueue_.postAfter(delaySeconds, [weak = weak_from_this(), attempt] {
        const auto self = weak.lock();
        if (!self || !self->captureRequested_.load()) return;
        const double left = self->analyzer_->secondsUntilSilence();
        if (left < 0) {
            self->reportFailure(AudioCaptureFailure::silentOrProtectedAudio, attempt);
        } else {
            // Just past the limit, so that the next check finds it passed.
            self->watchForSilence(attempt, left + 0.01);
        }
    });
}

void SystemAudioLevelMonitor::follow(const PlayerAudioIdentity& player) {
    std::shared_ptr<AudioCaptureStream> stream;
    {
        std::lock_guard lock(mutex_);
        if (player == player_) return;
        player_ = player;
        stream = stream_;
    }
    if (stream) stream->follow(player);
}

double SystemAudioLevelMonitor::holdBackSeconds() const {
    return std::clamp(outputLatency_.load() + holdBackOffset_.load(), 0.0, maximumHoldBack);
}

void SystemAudioLevelMonitor::stop() {
    mainQueue_.cancel(std::exchange(silenceTimer_, 0));
    mainQueue_.cancel(std::exchange(heldFrameTimer_, 0));
    std::shared_ptr<AudioCaptureStream> stream;
    {
        std::lock_guard lock(mutex_);
        captureRequested_.store(false);
        stream = std::move(stream_);
    }
    // Stopping first means no handler is still running when the analysis is reset.
    if (stream) stream->stop();
    analyzer_->reset();
    stopListeningToFrameTicks();
    latestFrame_.clear();
    heldFrames_.clear();
}

void SystemAudioLevelMonitor::streamDidOpen(std::uint64_t attempt, std::unique_ptr<AudioCaptureStream> opened) {
    std::shared_ptr<AudioCaptureStream> stream = std::move(opened);
    PlayerAudioIdentity player;
    {
        std::lock_guard lock(mutex_);
        // Capture was stopped (or failed, or restarted) while the stream was being set up:
        // it is released below without ever starting.
        if (!captureRequested_.load() || attempt != attempt_) return;
        stream_ = stream;
        player = player_;
    }
    if (!player.empty()) stream->follow(player);
    // A stop() racing with this call takes the stream out and stops it; a stream that
    // was stopped ignores start(), so it is never left running.
    stream->start();
}

void SystemAudioLevelMonitor::handleBuffer(const AudioSampleBuffer& buffer) {
    analyzer_->handle(buffer, captureRequested_.load());
}

void SystemAudioLevelMonitor::publish(const AudioVisualizationFrame& frame) {
    const double holdBack = holdBackSeconds();
    if (holdBack <= 0.0) {
        if (latestFrame_.store(frame)) postDelivery();  // otherwise a tick or a wake-up on its way takes it
        return;
    }
    if (heldFrames_.push(frame, clock_->now() + holdBack)) postHeldDelivery();
}

void SystemAudioLevelMonitor::postHeldDelivery() {
    mainQueue_.post([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->deliverHeldFrame(true);
    });
}

void SystemAudioLevelMonitor::deliverHeldFrame(bool rearm) {
    const double now = clock_->now();
    const FrameHoldBack::Taken taken = heldFrames_.take(now, deliveredFrame_);
    if (taken.frame && captureRequested_.load()) frameDidChange_(deliveredFrame_);
    // On ticks the next tick takes the next frame; a woken main thread waits for it.
    if (!rearm || !taken.nextDue || (frameTicksToken_ != 0 && frameTicks_->isRunning())) return;
    mainQueue_.cancel(heldFrameTimer_);
    heldFrameTimer_ = mainQueue_.postAfter(std::max(*taken.nextDue - now, 0.001), [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->heldFrameTimer_ = 0;
            self->deliverHeldFrame(true);
        }
    });
}

void SystemAudioLevelMonitor::postDelivery() {
    mainQueue_.post([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->latestFrame_.wokenUp();
            self->deliverLatestFrame();
        }
    });
}

void SystemAudioLevelMonitor::deliverLatestFrame() {
    // A frame analysed just before a stop or a failure is not delivered after it.
    if (latestFrame_.take(deliveredFrame_) && captureRequested_.load()) frameDidChange_(deliveredFrame_);
}

void SystemAudioLevelMonitor::frameTick(FrameTicks::Event event) {
    switch (event) {
        case FrameTicks::Event::started:
            latestFrame_.setTakenOnTicks(true);
            heldFrames_.setTakenOnTicks(true);
            mainQueue_.cancel(std::exchange(heldFrameTimer_, 0));
            break;
        case FrameTicks::Event::tick:
            deliverLatestFrame();
            deliverHeldFrame(false);
            break;
        case FrameTicks::Event::stopped:
            // A frame stored since the last tick would otherwise wait for the next start.
            if (latestFrame_.setTakenOnTicks(false)) postDelivery();
            if (heldFrames_.setTakenOnTicks(false)) postHeldDelivery();
            break;
    }
}

void SystemAudioLevelMonitor::listenToFrameTicks() {
    if (!frameTicks_ || frameTicksToken_ != 0) return;
    // The listener may outlive the monitor (released after a failure without a stop): it
    // then removes itself at the next event.
    auto token = std::make_shared<FrameTicks::Token>(0);
    *token = frameTicks_->addListener(
        [weak = weak_from_this(), ticks = frameTicks_.get(), token](FrameTicks::Event event) {
            if (auto self = weak.lock()) {
                self->frameTick(event);
            } else {
                ticks->removeListener(*token);
            }
        });
    frameTicksToken_ = *token;
    latestFrame_.setTakenOnTicks(frameTicks_->isRunning());
    heldFrames_.setTakenOnTicks(frameTicks_->isRunning());
}

void SystemAudioLevelMonitor::stopListeningToFrameTicks() {
    if (frameTicksToken_ == 0) return;
    frameTicks_->removeListener(std::exchange(frameTicksToken_, 0));
    latestFrame_.setTakenOnTicks(false);
    heldFrames_.setTakenOnTicks(false);
}

void SystemAudioLevelMonitor::reportFailure(AudioCaptureFailure failure, std::uint64_t attempt) {
    std::shared_ptr<AudioCaptureStream> stream;
    {
        std::lock_guard lock(mutex_);
        if (!captureRequested_.load() || (attempt != 0 && attempt != attempt_)) return;
        captureRequested_.store(false);
        stream = std::move(stream_);
    }
    if (stream) {
        stream->stop();
        stream.reset();
    }
    mainQueue_.post([weak = weak_from_this(), failure] {
        if (auto self = weak.lock()) self->captureDidFail_(failure);
    });
}

}  // namespace sonavista
