#include "MonitoredCapture.h"
#include "audio/PulseAudioCapture.h"
#include "playback/PulseOutputVolume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <mutex>
#include <regex>
#include <sstream>
#include <tuple>

using namespace sonavista;
using sonavista::testing::eventually;
using sonavista::testing::MonitoredCapture;
using sonavista::testing::PrivatePulseServer;
using sonavista::testing::SoundServer;

namespace {

// Each monitor source recorded, with the time; a base of its own so that it outlives the
// backend's loop thread, which writes it.
struct SourceLog {
    std::mutex mutex;
    std::vector<std::pair<double, std::string>> sources;
};

// A monitor on the real PulseAudio backend.
struct Capture : SourceLog, MonitoredCapture {
    Capture()
        : MonitoredCapture(std::make_shared<PulseAudioCapture>([this](const std::string&, const std::string& source) {
              std::lock_guard lock(mutex);
              sources.emplace_back(elapsed(), source);
          })) {}
};

int countOurSourceOutputs(const PrivatePulseServer& server) {
    return std::stoi(server.output("pactl list source-outputs | grep -c 'application.name = \"Sonavista\"'"));
}

// What the capture did since `since`, for a failure message: the sources it recorded, the
// frames that came and the last one's level, and any failure reported.
std::string describe(Capture& capture, double since) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(3);
    {
        std::lock_guard lock(capture.mutex);
        for (const auto& [time, source] : capture.sources) text << "recorded " << source << " at " << time - since << " s; ";
    }
    const auto later = std::ranges::count_if(capture.frames, [since](const auto& f) { return f.first > since; });
    text << later << " frames since";
    if (!capture.frames.empty()) {
        text << ", the last at " << capture.frames.back().first - since << " s, level "
             << capture.frames.back().second.level;
    }
    return text.str() + "; " + std::to_string(capture.failures.size()) + " failures";
}

// Every case of this suite runs on a private PulseAudio and on a private PipeWire stack.
class OnPrivateServer : public ::testing::TestWithParam<SoundServer> {
protected:
    OnPrivateServer() { server.useFromThisProcess(); }
    PrivatePulseServer server{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(OnEachServer, OnPrivateServer, ::testing::Values(SoundServer::pulseAudio, SoundServer::pipeWire),
                         [](const auto& info) { return info.param == SoundServer::pipeWire ? "PipeWire" : "PulseAudio"; });

TEST_P(OnPrivateServer, FramesFollowTheSignalAndStopLeavesNoSourceOutput) {
    const std::string signal = server.generate("signal", "1.2 sine 440 vol 0.5 : synth 1.2 sine 440 vol 0.01");
    Capture capture;
    capture.monitor->start();
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.frames.empty(); }, 5.0)) << "no frame from the server";
    EXPECT_EQ(countOurSourceOutputs(server), 1);

    const double playStart = capture.elapsed();
    server.play(signal);
    capture.pump(2.4);

    // Samples read at the wrong scale or format miss both levels: the loud part (-9 dBFS)
    // reaches the top, the quiet part (-43 dBFS) settles near its target of about 0.39.
    double loudPeak = 0.0, quietLast = -1.0;
    int frames = 0;  // in the first 2 s
    for (const auto& [time, frame] : capture.frames) {
        if (time > playStart + 0.3 && time < playStart + 1.1) loudPeak = std::max(loudPeak, frame.level);
        if (time > playStart + 1.9 && time < playStart + 2.3) quietLast = frame.level;
        frames += time > playStart && time < playStart + 2.0;
    }
    EXPECT_GT(loudPeak, 0.9);
    EXPECT_NEAR(quietLast, 0.4, 0.2);
    // Up to 30 frames per second while capturing (about 23 with 2048-frame fragments).
    EXPECT_NEAR(frames, 51, 11);

    capture.monitor->stop();
    EXPECT_EQ(countOurSourceOutputs(server), 0);
    const auto frameCount = capture.frames.size();
    capture.pump(0.3);
    EXPECT_EQ(capture.frames.size(), frameCount) << "no frame after stop";
    EXPECT_TRUE(capture.failures.empty());
}

TEST_P(OnPrivateServer, StopDuringSetUpLeavesNoStream) {
    Capture capture;
    for (int round = 0; round < 5; ++round) {
        capture.monitor->start();
        capture.monitor->stop();
    }
    capture.pump(0.5);
    EXPECT_EQ(countOurSourceOutputs(server), 0);
    EXPECT_TRUE(capture.failures.empty());
}

TEST_P(OnPrivateServer, KilledServerReportsOneUnavailable) {
    Capture capture;
    capture.monitor->start();
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.frames.empty(); }, 5.0));
    server.kill(SIGKILL);
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.failures.empty(); }, 3.0));
    capture.pump(0.3);
    ASSERT_EQ(capture.failures.size(), 1u);
    EXPECT_EQ(capture.failures[0].second, AudioCaptureFailure::unavailable);
}

TEST_P(OnPrivateServer, FollowsTheDefaultSinkWithoutReportingAFailure) {
    const std::string headphones = server.output("pactl load-module module-null-sink sink_name=headphones");
    ASSERT_EQ(server.run("pactl set-default-sink out"), 0);
    // The loud sink's monitor is the default input, as a microphone would be: never recorded.
    ASSERT_EQ(server.run("pactl set-default-source headphones.monitor"), 0);
    // Quiet but audible on the default sink (so that no silence is reported), loud on the other.
    server.play(server.generate("quiet", "12 sine 330 vol 0.01"), "out");
    server.play(server.generate("loud", "12 sine 330 vol 0.5"), "headphones");
    Capture capture;
    capture.monitor->start();
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.frames.empty(); }, 5.0));
    capture.pump(0.5);
    const double switchTime = capture.elapsed();
    for (const auto& [time, frame] : capture.frames) EXPECT_LT(frame.level, 0.6) << time;
    ASSERT_EQ(server.run("pactl set-default-sink headphones"), 0);
    // A null sink takes up to 2 s to deliver to a new record stream (its idle block length).
    ASSERT_TRUE(capture.pumpUntil([&] { return capture.frames.back().second.level > 0.9; }, 3.0))
        << "capture did not follow the new default sink; " << describe(capture, switchTime) << "\n"
        << server.output("pactl get-default-sink; pactl list short sink-inputs; pactl list short source-outputs; "
                         "tail -n 20 \"$HOME/server.log\"");
    EXPECT_LT(capture.elapsed() - switchTime, 2.6);
    EXPECT_EQ(countOurSourceOutputs(server), 1);

    // The recorded output is unplugged: the server makes the other sink the default, and
    // capture goes on there.
    ASSERT_EQ(server.run("pactl unload-module " + headphones), 0);
    const double unplugged = capture.elapsed();
    capture.pump(2.5);
    EXPECT_GT(capture.frames.back().first, unplugged + 2.0);
    EXPECT_TRUE(capture.failures.empty());

    // With no sink left PulseAudio has no default output: once the wait for one has run out
    // (2 s), capture is unavailable. (PipeWire's session manager then offers a dummy output
    // instead, which is followed.)
    if (GetParam() == SoundServer::pipeWire) return;
    ASSERT_EQ(server.run("pactl unload-module module-null-sink"), 0);
    const double lastGone = capture.elapsed();
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.failures.empty(); }, 2.6));
    EXPECT_EQ(capture.failures[0].second, AudioCaptureFailure::unavailable);
    EXPECT_GT(capture.failures[0].first - lastGone, 1.5);  // the stream ended before pactl returned
}

// A sink that goes away and comes back under the same name (a Bluetooth profile switch, a USB
// DAC replugged) is recorded again at once, every time, without a failure.
TEST_P(OnPrivateServer, RecordsTheSinkAgainWhenItComesBackUnderTheSameName) {
    const std::string tone = server.generate("tone", "30 sine 440 vol 0.5");
    server.play(tone);
    Capture capture;
    capture.monitor->start();
    const auto loudSince = [&capture](double time) {
        return [&capture, time] { return !capture.frames.empty() && capture.frames.back().first > time &&
                                         capture.frames.back().second.level > 0.9; };
    };
    ASSERT_TRUE(capture.pumpUntil(loudSince(0), 5.0));
    for (int round = 0; round < 2; ++round) {  // a second loss is waited for again
        const double gone = capture.elapsed();
        ASSERT_EQ(server.run("pactl unload-module $(pactl list short modules | awk '/sink_name=out/ { print $1 }') && "
                             "pactl load-module module-null-sink sink_name=out"), 0);
        const double back = capture.elapsed();
        // The player starts again on the returned sink, each time at its own pitch: PipeWire
        // moves the earlier players back there too, and equal tones could cancel each other out.
        const std::string pitch = std::to_string(550 + 110 * round);
        server.play(server.generate("tone" + pitch, "30 sine " + pitch + " vol 0.5"));
        // When capture recorded the returned sink (PipeWire may follow a stand-in meanwhile), or 0.
        const auto again = [&] {
            std::lock_guard lock(capture.mutex);
            const auto& [time, source] = capture.sources.back();
            return time > gone && source == "out.monitor" ? time : 0.0;
        };
        ASSERT_TRUE(capture.pumpUntil([&] { return again() > 0; }, 1.5)) << "not recording it again, round " << round;
        ASSERT_TRUE(capture.pumpUntil([&] { return capture.frames.back().first > again(); }, 2.5)) << round;
        // A new null sink of PulseAudio renders its first 2 s in one block, before any record
        // stream can attach: every client's first data comes 2 s after the sink (parec's too).
        EXPECT_LT(capture.frames.back().first - back, GetParam() == SoundServer::pipeWire ? 1.0 : 2.2) << round;
        EXPECT_TRUE(capture.pumpUntil(loudSince(back), 2.0)) << "the tone is not heard, round " << round;
    }
    EXPECT_TRUE(capture.failures.empty());
    EXPECT_EQ(countOurSourceOutputs(server), 1);
}

TEST_P(OnPrivateServer, OutputVolumeFollowsTheDefaultSink) {
    ASSERT_EQ(server.run("pactl set-sink-volume out 50%"), 0);
    PulseOutputVolume volume("integration");
    const auto reads = [&](double expected) {
        return eventually([&] { return std::abs(volume.systemOutputVolume() - expected) < 0.001; });
    };
    EXPECT_TRUE(reads(0.5)) << volume.systemOutputVolume();
    // (The last row must read below 1.0, the reading once the server is gone.)
    for (const auto& [percent, expected] : {std::pair{"25%", 0.25}, {"150%", 1.0}, {"40%", 0.4}}) {
        ASSERT_EQ(server.run(std::string("pactl set-sink-volume out ") + percent), 0);
        EXPECT_TRUE(reads(expected)) << percent << " read as " << volume.systemOutputVolume();
    }

    // The server goes away: full volume again, without blocking the reader.
    server.kill(SIGKILL);
    EXPECT_TRUE(reads(1.0)) << volume.systemOutputVolume();
    EXPECT_FALSE(volume.isConnected());
}

// `sonavista-analyze --capture` names the server it records, and ends every failed capture with
// status 3: also one that never gets data (nothing links the stream without a working session
// manager; a frozen server), never a quiet success.
TEST(AnalyzeToolCapture, NamesTheServerAndEndsAFailedCaptureWithStatusThree) {
    enum Trouble { none, noSessionManager, frozen, gone };  // frozen: the session manager, or PulseAudio itself
    const auto pulse = SoundServer::pulseAudio, pipe = SoundServer::pipeWire;
    // Per case: the server, its trouble, how it is named on standard error if it answers, the failure.
    for (const auto& [kind, trouble, named, failure] :
         std::vector<std::tuple<SoundServer, Trouble, const char*, std::string>>{
             {pulse, none, "pulseaudio 1", "silentOrProtectedAudio"},
             {pipe, none, "PulseAudio (on PipeWire 0.", "silentOrProtectedAudio"},
             {pipe, noSessionManager, nullptr, "unavailable"},  // no default output
             {pipe, frozen, nullptr, "silentOrProtectedAudio"},
             {pulse, frozen, nullptr, "silentOrProtectedAudio"},
             {pulse, gone, nullptr, "unavailable"}}) {
        SCOPED_TRACE(std::to_string(trouble) + (kind == pipe ? " on PipeWire" : " on PulseAudio"));
        PrivatePulseServer server(kind, false, trouble != noSessionManager);
        server.useFromThisProcess();
        if (trouble == frozen && kind == pipe) server.freezeSessionManager();
        if (trouble == frozen && kind == pulse) server.kill(SIGSTOP);
        if (trouble == gone) server.kill(SIGKILL);
        const std::string out =
            server.output("sh -c '" SONAVISTA_TEST_BINARY_DIR
                          "/tools/analyze/sonavista-analyze --capture --seconds 7; echo status=$?'");
        std::smatch last;
        ASSERT_TRUE(std::regex_search(out, last, std::regex(R"re(\{"time": ([0-9.]+), "failure": "(\w+)"\}\nstatus=3\n$)re")))
            << out;
        EXPECT_EQ(last[2], failure);
        // Silence is reported after its limit of 4 s, anything else at once.
        EXPECT_NEAR(std::stod(last[1]), last[2] == "silentOrProtectedAudio" ? 4.5 : 0.5, 0.5);
        if (named) {
            EXPECT_NE(out.find(std::string("sonavista-analyze: recording out.monitor on ") + named), std::string::npos);
        }
        EXPECT_FALSE(std::filesystem::exists(server.dir() / "client-run" / "pulse" / "pid")) << "a server was spawned";
    }
}

// Runs in a separate process started by the test below (libpulse refuses to work in a
// forked copy of a process that already used it): captures once and reports the failure
// it saw through its exit status.
TEST(PulseAudioCaptureProbe, ExitsWithTheReportedFailure) {
    if (std::getenv("SONAVISTA_CAPTURE_PROBE") == nullptr) GTEST_SKIP() << "only run by RefusedCredentials";
    Capture capture;
    capture.monitor->start();
    const bool failed = capture.pumpUntil([&] { return !capture.failures.empty(); }, 5.0);
    std::_Exit(failed ? 10 + static_cast<int>(capture.failures[0].second) : 91);
}

TEST(PulseAudioCapture, RefusedCredentialsArePermissionRequired) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the client under another uid";
    PrivatePulseServer server(SoundServer::pulseAudio, /*refuseForeignClients=*/true);
    const auto dir = server.dir();
    sonavista::testing::writeText(dir / "wrong-cookie", std::string(256, '\x5b'));  // a cookie, not the server's
    // A copy of this program that the unprivileged user can run.
    std::filesystem::copy_file("/proc/self/exe", dir / "probe");
    chmod((dir / "probe").c_str(), 0755);
    chmod((dir / "wrong-cookie").c_str(), 0644);

    // A client of the server's own uid is always admitted, so the client runs as nobody.
    const auto probe = sonavista::testing::runTool(
        {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "env", "-i", "PATH=/usr/bin:/bin",
         "HOME=/nonexistent", "SONAVISTA_CAPTURE_PROBE=1", "PULSE_SERVER=" + server.server(),
         "PULSE_COOKIE=" + (dir / "wrong-cookie").string(), (dir / "probe").string(),
         "--gtest_filter=PulseAudioCaptureProbe.*"});
    EXPECT_EQ(probe.status, 10 + static_cast<int>(AudioCaptureFailure::permissionRequired));
}

}  // namespace
