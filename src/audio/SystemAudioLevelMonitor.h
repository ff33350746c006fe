#pragma once

#include "audio/AudioCaptureBackend.h"
#include "audio/AudioCaptureFailure.h"
#include "audio/AudioFrameAnalyzer.h"
#include "audio/AudioLevelMonitor.h"
#include "audio/AudioVisualizationFrame.h"
#include "audio/FrameHoldBack.h"
#include "audio/LatestFrameSlot.h"
#include "audio/PlayerAudioIdentity.h"
#include "base/Clock.h"
#include "base/FrameTicks.h"
#include "base/MainQueue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace sonavista {

// Captures the system's audio output through a capture backend and analyses it into
// frames. One monitor serves one capture attempt at a time: `start()` asks for capture,
// `stop()` ends it; the first failure after a start is reported once and ends the capture.
//
// Silence is judged on the clock, not only when buffers arrive: a stream that is set up but
// delivers nothing (never linked to a source, a server that stopped answering) is reported
// as `silentOrProtectedAudio` after the same limit, by a timer on the main queue.
//
// Both callbacks run on the main thread, never inside the monitor's own operations (so the
// owner may release the monitor inside them) and only while the monitor exists: frames
// only while capture is requested, failures at most once per `start()` and never after
// `stop()`. Only the newest frame counts: one that the main thread has not received yet is
// replaced by the next. Frames are posted to the main queue, except while the `frameTicks`
// given to `create` run: then each tick takes the newest frame, so the main thread is not
// woken once more for every analysed frame. Create, start, stop and release the monitor on
// the main thread; own it through the shared_ptr that `create` returns.
//
// Frames are drawn when their sound is heard: each is held back by the output latency the
// stream reports plus the user's offset (`setHoldBackOffset`). With no hold-back (a latency
// that is not known and no offset) frames take the direct road as they always did.
class SystemAudioLevelMonitor final : public AudioLevelMonitor,
                                      public std::enable_shared_from_this<SystemAudioLevelMonitor> {
    struct Key {};

public:
    using FrameDidChange = AudioFrameCallback;
    using CaptureDidFail = AudioFailureCallback;

    // `mainQueue` must outlive the monitor and everything it posts. Without `frameTicks` every
    // frame is posted.
    static std::shared_ptr<SystemAudioLevelMonitor> create(FrameDidChange frameDidChange,
                                                           CaptureDidFail captureDidFail, MainQueue& mainQueue,
                                                           std::shared_ptr<AudioCaptureBackend> backend,
                                                           std::shared_ptr<const Clock> clock,
                                                           std::shared_ptr<FrameTicks> frameTicks = nullptr);

    SystemAudioLevelMonitor(Key, FrameDidChange frameDidChange, CaptureDidFail captureDidFail, MainQueue& mainQueue,
                            std::shared_ptr<AudioCaptureBackend> backend, std::shared_ptr<const Clock> clock);
    // Stops a stream that is still running, without reporting anything.
    ~SystemAudioLevelMonitor() override;
    SystemAudioLevelMonitor(const SystemAudioLevelMonitor&) = delete;
    SystemAudioLevelMonitor& operator=(const SystemAudioLevelMonitor&) = delete;

    // Asks for capture; does nothing while capture is already requested. Returns at once:
    // success shows as frames arriving, failure through `captureDidFail`.
    void start() override;
    // Ends capture and resets the analysis. Reports nothing; harmless when idle.
    void stop() override;

    bool isCaptureRequested() const { return captureRequested_.load(); }

    // Which player's sound to record (empty: everything); passed on to the stream, now or
    // when it opens.
    void follow(const PlayerAudioIdentity& player) override;
    // The user's correction of the output latency, seconds; any thread.
    void setHoldBackOffset(double seconds) override { holdBackOffset_.store(seconds); }
    // Latency plus offset, never below 0 nor above `maximumHoldBack`.
    double holdBackSeconds() const;
    static constexpr double maximumHoldBack = 0.75;
    void onScopeChange(std::function<void(bool playerOnly)> scopeDidChange) override {
        scopeDidChange_ = std::move(scopeDidChange);
    }

private:
    // Ends the capture and posts `failure` to `captureDidFail`, unless capture is no longer
    // requested or `attempt` (0: whichever is current) is not the current one.
    void reportFailure(AudioCaptureFailure failure, std::uint64_t attempt = 0);
    void streamDidOpen(std::uint64_t attempt, std::unique_ptr<AudioCaptureStream> stream);
    void handleBuffer(const AudioSampleBuffer& buffer);
    // Analysis thread: keeps the frame for the main thread, waking it when nothing ticks.
    void publish(const AudioVisualizationFrame& frame);
    // Any thread: wakes the main thread to deliver the newest frame.
    void postDelivery();
    // Main thread: hands the newest frame not delivered yet to `frameDidChange`.
    void deliverLatestFrame();
    // Main thread: hands the newest held frame that is due over; when woken (`rearm`) waits
    // with a timer for the next one.
    void deliverHeldFrame(bool rearm);
    void postHeldDelivery();
    void frameTick(FrameTicks::Event event);
    void listenToFrameTicks();
    void stopListeningToFrameTicks();
    // Main thread: checks for silence after `delaySeconds`, then again until it is reported
    // or the attempt is over.
    void watchForSilence(std::uint64_t attempt, double delaySeconds);

    const FrameDidChange frameDidChange_;
    const CaptureDidFail captureDidFail_;
    MainQueue& mainQueue_;
    const std::shared_ptr<AudioCaptureBackend> backend_;
    const std::shared_ptr<const Clock> clock_;
    std::unique_ptr<AudioFrameAnalyzer> analyzer_;  // set by `create`, never changed after

    // Read without the lock by the sample handler and the frame delivery; changed, and
    // tested-and-cleared, only with `mutex_` held together with `stream_` and `attempt_`.
    std::atomic<bool> captureRequested_{false};
    std::mutex mutex_;
    std::shared_ptr<AudioCaptureStream> stream_;
    std::uint64_t attempt_ = 0;

    LatestFrameSlot latestFrame_;
    FrameHoldBack heldFrames_;
    std::atomic<double> outputLatency_{0.0};
    std::atomic<double> holdBackOffset_{0.0};
    PlayerAudioIdentity player_;  // guarded by `mutex_`

    // Main thread only.
    MainQueue::TimerId silenceTimer_ = 0;
    MainQueue::TimerId heldFrameTimer_ = 0;
    std::shared_ptr<FrameTicks> frameTicks_;
    FrameTicks::Token frameTicksToken_ = 0;
    AudioVisualizationFrame deliveredFrame_;  // storage reused by every delivery
    std::function<void(bool)> scopeDidChange_;
};

}  // namespace sonavista
