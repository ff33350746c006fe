#include "audio/SystemAudioLevelMonitor.h"
#include "FakeCaptureBackend.h"
#include "base/FakeClock.h"
#include "base/ManualMainQueue.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

using namespace sonavista;
using sonavista::testing::FakeCaptureBackend;

namespace {

std::vector<float> stereo(float value, std::size_t frames = 480) { return std::vector<float>(frames * 2, value); }

// A monitor on a fake backend whose set-up and deliveries run on a real thread.
struct SystemAudioLevelMonitorTest : ::testing::Test {
    ManualMainQueue mainQueue;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>(100.0);
    std::shared_ptr<FakeCaptureBackend> backend = std::make_shared<FakeCaptureBackend>();
    std::vector<AudioVisualizationFrame> frames;
    std::vector<AudioCaptureFailure> failures;
    std::shared_ptr<FrameTicks> ticks = std::make_shared<FrameTicks>();
    std::shared_ptr<SystemAudioLevelMonitor> monitor = makeMonitor();

    // A monitor on this backend; by default it records its frames and failures here.
    std::shared_ptr<SystemAudioLevelMonitor> makeMonitor(
        std::function<void(const AudioVisualizationFrame&)> onFrame = {},
        std::function<void(AudioCaptureFailure)> onFailure = {}) {
        if (!onFrame) onFrame = [this](const AudioVisualizationFrame& f) { frames.push_back(f); };
        if (!onFailure) onFailure = [this](AudioCaptureFailure f) { failures.push_back(f); };
        return SystemAudioLevelMonitor::create(onFrame, onFailure, mainQueue, backend, clock, ticks);
    }
    // Lets the backend thread finish what was queued, then runs the main queue.
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
        EXPECT_FALSE(monitor->isCaptureRequested());
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

    monitor->stop();
    monitor->stop();
    EXPECT_EQ(backend->record(0)->stopCalls, 1);
    EXPECT_TRUE(backend->record(0)->destroyed);

    // A new attempt starts from a reset analysis: the same first level as before.
    startCapturing();
    backend->deliver(stereo(0.1f));
    settle();
    EXPECT_EQ(backend->openCount(), 2u);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2].level, frames[0].level);
    EXPECT_TRUE(failures.empty());
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

TEST_F(SystemAudioLevelMonitorTest, TwoFailuresInQuickSuccessionReportTheFirstOnce) {
    startCapturing();
    const auto record = backend->record(0);
    clock->advance(4.5);
    // Both are queued before either runs, so they arrive back to back on the thread.
    backend->deliver(stereo(0.0f));
    backend->failStream();
    settle();
    EXPECT_EQ(failures, std::vector<AudioCaptureFailure>{AudioCaptureFailure::silentOrProtectedAudio});
    EXPECT_EQ(record->stopCalls, 1);
    EXPECT_TRUE(record->destroyed);
    EXPECT_FALSE(monitor->isCaptureRequested());
}

// Silence is judged on the clock, also when no buffer arrives at all.
TEST_F(SystemAudioLevelMonitorTest, CaptureThatDeliversNothingIsSilentAfterTheLimit) {
    struct Case {
        const char* name;
        bool opens;
        int audibleAt, stopAt, reportedAt;  // tenths of a second after the start; -1: never
    };
    for (const Case& c : {Case{"opened, nothing delivered", true, -1, -1, 41}, Case{"set-up never answers", false, -1, -1, 41},
                          Case{"one audible buffer at 3 s", true, 30, -1, 71}, Case{"stopped at 2 s", true, -1, 20, -1}}) {
        SCOPED_TRACE(c.name);
        failures.clear();
        monitor->start();
        if (c.opens) backend->completeOpen();
        int reportedAt = -1;
        for (int tenth = 1; tenth <= 100 && failures.empty(); ++tenth) {
            clock->advance(0.1);
            if (tenth == c.audibleAt) backend->deliver(stereo(0.1f));
            if (tenth == c.stopAt) monitor->stop();
            backend->flush();
            mainQueue.advance(0.1);
            if (!failures.empty()) reportedAt = tenth;
        }
        EXPECT_EQ(reportedAt, c.reportedAt);
        EXPECT_EQ(failures.size() == 1 && failures[0] == AudioCaptureFailure::silentOrProtectedAudio, c.reportedAt > 0);
        EXPECT_FALSE(backend->record(FakeCaptureBackend::latest)->running());
        monitor->stop();
    }
}

TEST_F(SystemAudioLevelMonitorTest, RacingFailuresFromTwoThreadsGiveOneReport) {
    for (int round = 0; round < 50; ++round) {
        failures.clear();
        startCapturing();
        clock->advance(4.5);
        backend->deliver(stereo(0.0f));  // silence, on the backend thread
        std::thread other([&] { backend->failStream(); });
        backend->failOpen(AudioCaptureFailure::unavailable);  // a late set-up answer is stale
        other.join();
        settle();
        ASSERT_EQ(failures.size(), 1u) << "round " << round;
    }
}

TEST_F(SystemAudioLevelMonitorTest, NothingIsReportedAfterStopOrForAnEarlierAttempt) {
    startCapturing();
    monitor->stop();
    backend->failStream(0);
    settle();
    EXPECT_TRUE(failures.empty());

    // A second attempt is not failed by answers meant for the first.
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
    startCapturing();
    bool streamStoppedWhenReported = false;
    const auto record = backend->record(0);
    auto observed =
        makeMonitor({}, [&](AudioCaptureFailure) { streamStoppedWhenReported = backend->record(1)->stopped; });
    observed->start();
    backend->completeOpen(1);
    backend->deliver(stereo(0.1f), 1);  // analysed and posted, not yet delivered
    backend->failStream(1);
    backend->flush();
    mainQueue.runPending();
    EXPECT_TRUE(streamStoppedWhenReported);
    EXPECT_TRUE(frames.empty()) << "a frame posted before the failure must not arrive after it";
    EXPECT_TRUE(record->running()) << "the other monitor is untouched";
}

TEST_F(SystemAudioLevelMonitorTest, MonitorReleasedInsideItsCallbacksIsSafe) {
    for (const bool releaseOnFrame : {true, false}) {
        SCOPED_TRACE(releaseOnFrame ? "released on a frame" : "released on a failure");
        std::shared_ptr<SystemAudioLevelMonitor> owned;
        int calls = 0;
        owned = makeMonitor(
            [&](const AudioVisualizationFrame&) {
                ++calls;
                if (releaseOnFrame) owned.reset();
            },
            [&](AudioCaptureFailure) {
                ++calls;
                owned.reset();
            });
        owned->start();
        backend->completeOpen();
        const auto record = backend->record(FakeCaptureBackend::latest);
        backend->deliver(stereo(0.1f));
        backend->flush();
        clock->advance(0.05);
        backend->deliver(stereo(0.1f));  // a second frame, posted while the first is pending
        if (!releaseOnFrame) backend->failStream();
        settle();
        EXPECT_EQ(owned, nullptr);
        // Frames posted before the failure are not delivered after it.
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(record->destroyed) << "releasing the monitor stops its stream";
        EXPECT_EQ(record->stopCalls, 1);
    }
}

TEST_F(SystemAudioLevelMonitorTest, StopWhileBuffersStreamInIsRaceFree) {
    for (int round = 0; round < 20; ++round) {
        startCapturing();
        for (int i = 0; i < 20; ++i) {
            backend->deliver(stereo(0.2f));
            clock->advance(0.01);
        }
        monitor->stop();
        const auto record = backend->record(FakeCaptureBackend::latest);
        EXPECT_FALSE(record->running());
        settle();
    }
    frames.clear();
    settle();
    EXPECT_TRUE(frames.empty()) << "no frame arrives after stop";
    EXPECT_TRUE(failures.empty());
}

}  // namespace
