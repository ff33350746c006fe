#include "PrivatePulseServer.h"
#include "audio/PulseAudioCapture.h"
#include "audio/SystemAudioLevelMonitor.h"
#include "base/ManualMainQueue.h"
#include "base/SteadyClock.h"

#include <gtest/gtest.h>

#include <functional>

using namespace sonavista;
using sonavista::testing::PrivatePulseServer;

namespace {

// A monitor on the real PulseAudio backend, its callbacks recorded with their arrival time.
struct Capture {
    ManualMainQueue mainQueue;
    std::shared_ptr<SteadyClock> clock = std::make_shared<SteadyClock>();
    std::shared_ptr<PulseAudioCapture> backend = std::make_shared<PulseAudioCapture>();
    std::vector<std::pair<double, AudioVisualizationFrame>> frames;
    std::vector<std::pair<double, AudioCaptureFailure>> failures;
    double startTime = clock->now();
    std::shared_ptr<SystemAudioLevelMonitor> monitor = SystemAudioLevelMonitor::create(
        [this](const AudioVisualizationFrame& f) { frames.emplace_back(elapsed(), f); },
        [this](AudioCaptureFailure f) { failures.emplace_back(elapsed(), f); }, mainQueue, backend, clock);

    double elapsed() const { return clock->now() - startTime; }
    void start() {
        startTime = clock->now();
        monitor->start();
    }
    // Runs the main queue in real time until `done` holds or `seconds` have passed.
    bool pumpUntil(const std::function<bool()>& done, double seconds) {
        const double end = clock->now() + seconds;
        while (clock->now() < end) {
            mainQueue.runPending();
            if (done()) return true;
            PrivatePulseServer::sleepSeconds(0.01);
        }
        mainQueue.runPending();
        return done();
    }
    void pump(double seconds) {
        pumpUntil([] { return false; }, seconds);
    }
};

int countOurSourceOutputs(const PrivatePulseServer& server) {
    const std::string list = server.output("pactl list source-outputs");
    int count = 0;
    for (std::size_t at = list.find("application.name = \"Sonavista\""); at != std::string::npos;
         at = list.find("application.name = \"Sonavista\"", at + 1)) {
        ++count;
    }
    return count;
}

TEST(PulseAudioCapture, FramesFollowTheSignalAndStopLeavesNoSourceOutput) {
    PrivatePulseServer server;
    server.useFromThisProcess();
    const std::string signal = server.generate("signal", {"1.2 sine 440 vol 0.5", "1.2 sine 440 vol 0.01"});
    Capture capture;
    capture.start();
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.frames.empty(); }, 5.0)) << "no frame from the server";
    EXPECT_EQ(countOurSourceOutputs(server), 1);

    const double playStart = capture.elapsed();
    server.play(signal);
    capture.pump(2.6);
    ASSERT_TRUE(capture.failures.empty());

    // Loud part (-9 dBFS): the level reaches the top. Quiet part (-43 dBFS): it settles
    // near its target of about 0.39.
    double loudPeak = 0.0, quietLast = -1.0;
    for (const auto& [time, frame] : capture.frames) {
        if (time > playStart + 0.3 && time < playStart + 1.1) loudPeak = std::max(loudPeak, frame.level);
        if (time > playStart + 1.9 && time < playStart + 2.3) quietLast = frame.level;
    }
    EXPECT_GT(loudPeak, 0.9);
    EXPECT_GT(quietLast, 0.2);
    EXPECT_LT(quietLast, 0.6);
    // About 30 frames per second while capturing.
    const auto loudFrames = std::count_if(capture.frames.begin(), capture.frames.end(), [&](const auto& entry) {
        return entry.first > playStart && entry.first < playStart + 2.0;
    });
    EXPECT_GT(loudFrames, 40);
    EXPECT_LE(loudFrames, 62);

    capture.monitor->stop();
    EXPECT_EQ(countOurSourceOutputs(server), 0);
    const auto frameCount = capture.frames.size();
    capture.pump(0.3);
    EXPECT_EQ(capture.frames.size(), frameCount) << "no frame after stop";
    EXPECT_TRUE(capture.failures.empty());
}

TEST(PulseAudioCapture, StopDuringSetUpLeavesNoStream) {
    PrivatePulseServer server;
    server.useFromThisProcess();
    Capture capture;
    for (int round = 0; round < 5; ++round) {
        capture.start();
        capture.monitor->stop();
    }
    capture.pump(0.5);
    EXPECT_EQ(countOurSourceOutputs(server), 0);
    EXPECT_TRUE(capture.failures.empty());
    EXPECT_TRUE(capture.frames.empty());
}

TEST(PulseAudioCapture, SilentSinkReportsSilenceAfterFourSeconds) {
    PrivatePulseServer server;
    server.useFromThisProcess();
    Capture capture;
    capture.start();
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.failures.empty(); }, 7.0));
    EXPECT_EQ(capture.failures[0].second, AudioCaptureFailure::silentOrProtectedAudio);
    EXPECT_GT(capture.failures[0].first, 4.0);
    EXPECT_LT(capture.failures[0].first, 5.0);
    capture.pump(0.3);
    EXPECT_EQ(capture.failures.size(), 1u);
    EXPECT_EQ(countOurSourceOutputs(server), 0) << "the failure ended the stream";
}

TEST(PulseAudioCapture, KilledServerReportsOneUnavailable) {
    PrivatePulseServer server;
    server.useFromThisProcess();
    Capture capture;
    capture.start();
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.frames.empty(); }, 5.0));
    server.kill(SIGKILL);
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.failures.empty(); }, 3.0));
    capture.pump(0.3);
    ASSERT_EQ(capture.failures.size(), 1u);
    EXPECT_EQ(capture.failures[0].second, AudioCaptureFailure::unavailable);
}

TEST(PulseAudioCapture, NoServerIsUnavailableAndNoneIsStarted) {
    PrivatePulseServer server;
    server.useFromThisProcess();
    server.kill(SIGKILL);
    Capture capture;
    capture.start();
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.failures.empty(); }, 3.0));
    EXPECT_EQ(capture.failures[0].second, AudioCaptureFailure::unavailable);
    EXPECT_FALSE(std::filesystem::exists(server.dir() / "client-run" / "pulse" / "pid"))
        << "a sound server was spawned";
}

TEST(PulseAudioCapture, FollowsTheDefaultSinkWithoutReportingAFailure) {
    PrivatePulseServer server;
    server.useFromThisProcess();
    ASSERT_EQ(server.run("pactl load-module module-null-sink sink_name=headphones"), 0);
    const std::string tone = server.generate("tone", {"5 sine 330 vol 0.5"});
    Capture capture;
    capture.start();
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.frames.empty(); }, 5.0));

    server.play(tone, "headphones");  // not heard: the default sink is still "out"
    capture.pump(0.5);
    const double switchTime = capture.elapsed();
    double levelBefore = capture.frames.back().second.level;
    EXPECT_LT(levelBefore, 0.05);
    ASSERT_EQ(server.run("pactl set-default-sink headphones"), 0);
    // A null sink takes up to 2 s to deliver to a new record stream (its idle block length).
    ASSERT_TRUE(capture.pumpUntil(
        [&] { return !capture.frames.empty() && capture.frames.back().second.level > 0.9; }, 3.0))
        << "capture did not follow the new default sink";
    EXPECT_LT(capture.elapsed() - switchTime, 2.6);
    EXPECT_TRUE(capture.failures.empty());
    EXPECT_EQ(countOurSourceOutputs(server), 1);

    // The recorded sink disappearing while another one is the default is followed too.
    ASSERT_EQ(server.run("pactl set-default-sink out"), 0);
    capture.pump(0.3);
    ASSERT_EQ(server.run("pactl unload-module module-null-sink"), 0);  // removes both sinks
    capture.pump(0.5);
    EXPECT_EQ(capture.failures.size(), 1u) << "with no sink left the capture is unavailable";
}

// Runs in a separate process started by the test below (libpulse refuses to work in a
// forked copy of a process that already used it): captures once and reports the failure
// it saw through its exit status.
TEST(PulseAudioCaptureProbe, ExitsWithTheReportedFailure) {
    if (std::getenv("SONAVISTA_CAPTURE_PROBE") == nullptr) GTEST_SKIP() << "only run by RefusedCredentials";
    int status = 91;
    {
        Capture capture;
        capture.start();
        if (capture.pumpUntil([&] { return !capture.failures.empty(); }, 5.0)) {
            status = 10 + static_cast<int>(capture.failures[0].second);
        }
    }
    std::_Exit(status);
}

TEST(PulseAudioCapture, RefusedCredentialsArePermissionRequired) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the client under another uid";
    PrivatePulseServer server(/*refuseForeignClients=*/true);
    const auto dir = server.dir();
    {
        std::ofstream cookie(dir / "wrong-cookie", std::ios::binary);
        for (int i = 0; i < 256; ++i) cookie.put(static_cast<char>(i * 37 + 11));
    }
    // A copy of this program that the unprivileged user can run.
    std::filesystem::copy_file("/proc/self/exe", dir / "probe");
    chmod((dir / "probe").c_str(), 0755);
    chmod((dir / "wrong-cookie").c_str(), 0644);

    // A client of the server's own uid is always admitted, so the client runs as nobody.
    const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups env -i PATH=/usr/bin:/bin "
                                "HOME=/nonexistent SONAVISTA_CAPTURE_PROBE=1 PULSE_SERVER=" + server.server() +
                                " PULSE_COOKIE=" + (dir / "wrong-cookie").string() + " " + (dir / "probe").string() +
                                " --gtest_filter=PulseAudioCaptureProbe.* >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 10 + static_cast<int>(AudioCaptureFailure::permissionRequired));
}

}  // namespace
