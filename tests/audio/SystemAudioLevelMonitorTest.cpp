#include "audio/SystemAudioLevelMonitor.h"
#include "FakeCaptureBackend.h"
#include "base/FakeClock.h"
#include "base/ManualMainQueue.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <tuple>
#include <vector>

using namespace sonavista;
using sonavista::testing::FakeCaptureBackend;

namespace {

std::vector<float> stereo(float value, std::size_t frames = 480) { return std::vector<float>(frames * 2, value); }

struct SystemAudioLevelMonitorTest : ::testing::Test {
    ManualMainQueue mainQueue;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>(100.0);
    std::shared_ptr<FakeCaptureBackend> backend = std::make_shared<FakeCaptureBackend>();
    std::vector<AudioVisualizationFrame> frames;
    std::vector<AudioCaptureFailure> failures;
    std::shared_ptr<FrameTicks> ticks = std::make_shared<FrameTicks>();
    std::shared_ptr<SystemAudioLevelMonitor> monitor = makeMonitor();

    std::shared_ptr<SystemAudioLevelMonitor> makeMonitor(
        std::function<void(const AudioVisualizationFrame&)> onFrame = {},
        std::function<void(AudioCaptureFailure)> onFailure = {}) {
        if (!onFrame) onFrame = [this](const AudioVisualizationFrame& f) { frames.push_back(f); };
        if (!onFailure) onFailure = [this](AudioCaptureFailure f) { failures.push_back(f); };
        return SystemAudioLevelMonitor::create(onFrame, onFailure, mainQueue, backend, clock, ticks);
    }
    void settle() {
        backend->flush();
        mainQueue.runPending();
    }
    void startCapturing() {
        monitor->start();
        backend->completeOpen();
        settle();
    }
};

TEST_F(SystemAudioLevelMonitorTest, StopDuringSetUpLeavesNoStreamAndReportsNothing) {
    for (const bool openSucceeds : {true, false}) {
        SCOPED_TRACE(openSucceeds ? "opened after stop" : "failed after stop");
        monitor->start();
        monitor->stop();
        openSucceeds ? backend->completeOpen() : backend->failOpen(AudioCaptureFailure::unavailable);
        settle();
        const auto record = backend->record(FakeCaptureBackend::latest);
        EXPECT_FALSE(record->started);
        EXPECT_EQ(record->destroyed.load(), openSucceeds);
        EXPECT_TRUE(failures.empty());
    }
}

TEST_F(SystemAudioLevelMonitorTest, StartTwiceSetsUpOneStreamAndStopEndsItOnceAndResetsTheAnalysis) {
    monitor->start();  // the second start below sets up nothing more
    startCapturing();
    backend->deliver(stereo(0.1f));
    settle();
    clock->advance(0.05);
    backend->deliver(stereo(0.1f));
    settle();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_GT(frames[1].level, frames[0].level);

    // Frames of the stopped capture never arrive: one posted, more analysed while it stops.
    clock->advance(0.05);
    backend->deliver(stereo(0.4f));
    backend->flush();
    for (int i = 0; i < 20; ++i) backend->deliver(stereo(0.4f));
    monitor->stop();
    monitor->stop();
    EXPECT_EQ(backend->record(0)->stopCalls, 1);
    EXPECT_TRUE(backend->record(0)->destroyed);

    // A new attempt starts from a reset analysis: the same first level as before.
    startCapturing();
    backend->deliver(stereo(0.1f));
    settle();
    EXPECT_EQ(backend->record(1), backend->record(FakeCaptureBackend::latest)) << "the second stream is the last";
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2].level, frames[0].level);
}

// While the overlay's frame clock runs, its ticks take the newest frame; nothing else wakes
// the main thread for frames, and none is lost when the clock stops or kept past a stop.
TEST_F(SystemAudioLevelMonitorTest, RunningFrameTicksTakeOnlyTheNewestFrame) {
    const auto deliverFrames = [&](std::initializer_list<float> amplitudes) {
        for (const float amplitude : amplitudes) {
            backend->deliver(stereo(amplitude));
            backend->flush();  // analysed at this clock reading: each one publishes
            clock->advance(0.05);
        }
        mainQueue.runPending();
    };
    startCapturing();
    ticks->setRunning(true);
    deliverFrames({0.0001f, 0.3f, 0.3f});
    EXPECT_TRUE(frames.empty()) << "frames wait for the tick";
    ticks->tick();
    ticks->tick();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_GT(frames[0].level, 0.5) << "the newest frame, not the first (silent) one";
    deliverFrames({0.0001f});
    ticks->setRunning(false);
    settle();
    ASSERT_EQ(frames.size(), 2u) << "a frame stored before the clock stopped arrives without a tick";

    ticks->setRunning(true);
    deliverFrames({0.3f});
    monitor->stop();
    startCapturing();
    ticks->tick();
    EXPECT_EQ(frames.size(), 2u) << "a frame of the stopped capture is dropped";
}

// The output's latency plus the user's offset hold each frame back, on ticks and on timers alike;
// the player to follow reaches the stream when it opens and whenever it changes.
TEST_F(SystemAudioLevelMonitorTest, FramesAreHeldBackByTheOutputLatencyAndTheOffset) {
    const PlayerAudioIdentity player{"mpv", {42}, {}, {"mpv"}};
    monitor->follow(player);
    startCapturing();
    EXPECT_EQ(backend->record(0)->followed, std::vector{player});
    backend->reportLatency(0.2);
    monitor->setHoldBackOffset(0.05);
    backend->flush();
    EXPECT_DOUBLE_EQ(monitor->holdBackSeconds(), 0.25);
    const auto wait = [&](double seconds) {
        clock->advance(seconds);
        mainQueue.advance(seconds);
    };
    for (const bool onTicks : {false, true}) {
        SCOPED_TRACE(onTicks ? "on frame ticks" : "woken by timers");
        ticks->setRunning(onTicks);
        frames.clear();
        backend->deliver(stereo(0.3f));
        settle();
        for (int ms = 0; ms < 260 && frames.empty(); ++ms) {
            wait(0.001);
            ticks->tick();
            if (!frames.empty()) {
                EXPECT_NEAR(ms + 1, 250, 1);
            }
        }
        EXPECT_EQ(frames.size(), 1u);
        wait(0.05);
    }
    ticks->setRunning(false);
    monitor->setHoldBackOffset(-0.5);  // corrected below zero: the direct road again
    EXPECT_EQ(monitor->holdBackSeconds(), 0.0);
    frames.clear();
    backend->deliver(stereo(0.3f));
    settle();
    EXPECT_EQ(frames.size(), 1u);
    monitor->follow(PlayerAudioIdentity{});
    EXPECT_EQ(backend->record(0)->followed.size(), 2u);
}

// Silence is judged on the clock, also when no buffer arrives at all.
TEST_F(SystemAudioLevelMonitorTest, CaptureThatDeliversNothingIsSilentAfterTheLimit) {
    // Each row: its name, whether the stream opens, and when (tenths of a second after the
    // start; -1: never) a buffer is audible, the monitor is stopped and silence is reported.
    for (const auto& [name, opens, audibleAt, stopAt, expectedAt] :
         {std::tuple{"opened, nothing delivered", true, -1, -1, 41}, {"set-up never answers", false, -1, -1, 41},
          {"one audible buffer at 3 s", true, 30, -1, 71}, {"stopped at 2 s", true, -1, 20, -1}}) {
        SCOPED_TRACE(name);
        failures.clear();
        monitor->start();
        if (opens) backend->completeOpen();
        int reportedAt = -1;
        for (int tenth = 1; tenth <= 100 && failures.empty(); ++tenth) {
            clock->advance(0.1);
            if (tenth == audibleAt) backend->deliver(stereo(0.1f));
            if (tenth == stopAt) monitor->stop();
            backend->flush();
            mainQueue.advance(0.1);
            if (!failures.empty()) reportedAt = tenth;
        }
        EXPECT_EQ(reportedAt, expectedAt);
        EXPECT_EQ(failures.size() == 1 && failures[0] == AudioCaptureFailure::silentOrProtectedAudio, expectedAt > 0);
        EXPECT_FALSE(backend->record(FakeCaptureBackend::latest)->running());
        monitor->stop();
    }
}

// Silence is queued first on the backend thread, so it is the one failure reported.
TEST_F(SystemAudioLevelMonitorTest, RacingFailuresFromTwoThreadsGiveTheFirstOnce) {
    for (int round = 0; round < 50; ++round) {
        failures.clear();
        startCapturing();
        clock->advance(4.5);
        backend->deliver(stereo(0.0f));
        std::thread other([&] { backend->failStream(); });
        backend->failOpen(AudioCaptureFailure::unavailable);  // a late set-up answer is stale
        other.join();
        settle();
        ASSERT_EQ(failures, std::vector{AudioCaptureFailure::silentOrProtectedAudio}) << "round " << round;
    }
}

// A second attempt is not failed by answers meant for the first.
TEST_F(SystemAudioLevelMonitorTest, NothingIsReportedForAnEarlierAttempt) {
    startCapturing();
    monitor->stop();
    monitor->start();
    backend->failOpen(AudioCaptureFailure::permissionRequired, 0);
    backend->completeOpen(0);
    settle();
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(monitor->isCaptureRequested());

    backend->failOpen(AudioCaptureFailure::permissionRequired);
    settle();
    EXPECT_EQ(failures, std::vector<AudioCaptureFailure>{AudioCaptureFailure::permissionRequired});
    EXPECT_FALSE(monitor->isCaptureRequested());
}

TEST_F(SystemAudioLevelMonitorTest, FailureStopsTheStreamBeforeItIsDeliveredAndEndsFrames) {
    bool streamStoppedWhenReported = false;
    monitor = makeMonitor({}, [&](AudioCaptureFailure) { streamStoppedWhenReported = backend->record(0)->stopped; });
    startCapturing();
    backend->deliver(stereo(0.1f));  // analysed and posted, not yet delivered
    backend->failStream();
    settle();
    EXPECT_TRUE(streamStoppedWhenReported);
    EXPECT_TRUE(frames.empty()) << "a frame posted before the failure must not arrive after it";
}

TEST_F(SystemAudioLevelMonitorTest, MonitorReleasedInsideItsFrameCallbackIsSafe) {
    std::shared_ptr<SystemAudioLevelMonitor> owned;
    int calls = 0;
    owned = makeMonitor([&](const AudioVisualizationFrame&) {
        ++calls;
        owned.reset();
    });
    owned->start();
    backend->completeOpen();
    backend->deliver(stereo(0.1f));
    backend->flush();
    clock->advance(0.05);
    backend->deliver(stereo(0.1f));  // a second frame, posted while the first is pending
    settle();
    EXPECT_EQ(calls, 1) << "a callback after the release";
    EXPECT_TRUE(backend->record(FakeCaptureBackend::latest)->destroyed) << "releasing the monitor ends its stream";
}

}  // namespace
