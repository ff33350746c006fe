#include "MonitoredCapture.h"
#include "audio/PipeWireOutputLatency.h"
#include "audio/ProcProcessTree.h"
#include "audio/PulseAudioCapture.h"
#include "audio/PulsePlayerCapture.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include <signal.h>

using namespace sonavista;
using sonavista::testing::Child;
using sonavista::testing::eventually;
using sonavista::testing::MonitoredCapture;
using sonavista::testing::PrivatePulseServer;
using sonavista::testing::SoundServer;

namespace {

// A monitor on the player-following backend.
struct PlayerCapture : MonitoredCapture {
    PlayerCapture()
        : MonitoredCapture(std::make_shared<PulsePlayerCapture>(std::make_shared<PulseAudioCapture>(),
                                                                std::make_shared<ProcProcessTree>())) {}
    bool playerOnly() const { return !scopes.empty() && scopes.back().second; }
};

class PlayerOnPrivateServer : public ::testing::TestWithParam<SoundServer> {
protected:
    PlayerOnPrivateServer() { server.useFromThisProcess(); }
    // The player ends first, so that its bus session ends with it (bus daemon included).
    ~PlayerOnPrivateServer() override {
        if (playerPid_ > 0) ::kill(playerPid_, SIGTERM);
        if (player_) player_->wait(std::chrono::seconds(5));
    }

    // mpv with its MPRIS plugin on a session bus of its own; the process id is the bus name
    // owner's, as the now-playing service reports it.
    std::int32_t startMprisPlayer(const std::string& files) {
        const std::string pidFile = (server.dir() / "mpv.pid").string();
        const std::string script =
            "mpv --no-config --vo=null --ao=pulse --audio-device=pulse/out --gapless-audio=no "
            "--script=/usr/lib/mpv-mpris/mpris.so " + files + " >/dev/null 2>&1 & "
            "until dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus "
            "org.freedesktop.DBus.GetConnectionUnixProcessID string:org.mpris.MediaPlayer2.mpv "
            "> " + pidFile + ".part 2>/dev/null; do sleep 0.05; done; mv " + pidFile + ".part " + pidFile + "; wait";
        player_ = std::make_unique<Child>(std::vector<std::string>{"dbus-run-session", "--", "sh", "-c", script});
        std::int32_t pid = 0;
        eventually([&] {
            std::ifstream file(pidFile);
            std::string word;
            while (file >> word) pid = std::atoi(word.c_str()) > 0 ? std::atoi(word.c_str()) : pid;
            return pid > 0;
        });
        playerPid_ = pid;
        return pid;
    }
    // The server's index of the player's sink input.
    std::string playerSinkInput() {
        return server.output("pactl list sink-inputs | awk '/^Sink Input #/{i=substr($3,2)} "
                             "/application.process.binary = \"mpv\"/{print i; exit}' | tr -d '\\n'");
    }

    PrivatePulseServer server{GetParam()};
    std::unique_ptr<Child> player_;
    std::int32_t playerPid_ = 0;
};

INSTANTIATE_TEST_SUITE_P(OnEachServer, PlayerOnPrivateServer,
                         ::testing::Values(SoundServer::pulseAudio, SoundServer::pipeWire),
                         [](const auto& info) { return info.param == SoundServer::pipeWire ? "PipeWire" : "PulseAudio"; });

// The player plays a quiet tone, then (next track, another format: a new stream) a loud one;
// another program plays loud bursts.
TEST_P(PlayerOnPrivateServer, RecordsThePlayersOwnStreamsAndFollowsThem) {
    const std::string quiet = server.generate("quiet", "14 sine 440 vol 0.01");
    const std::string loud = (server.dir() / "loud.wav").string();
    ASSERT_EQ(server.run("sox -n -r 44100 -c 1 -b 16 " + loud + " synth 6 sine 660 vol 0.5"), 0);
    const std::string burst = server.generate("burst", "1.2 sine 3000 vol 0.5");
    const std::int32_t pid = startMprisPlayer(quiet + " " + loud);
    ASSERT_GT(pid, 0) << "the player did not appear on its bus";
    const PlayerAudioIdentity player{"mpv", {pid}, {}, {"mpv"}};

    PlayerCapture capture;
    capture.monitor->follow(player);
    capture.monitor->start();
    const bool recorded = capture.pumpUntil([&] { return capture.playerOnly() && capture.frames.size() > 10; }, 5.0);
    ASSERT_TRUE(recorded) << "the player's stream was not recorded: " << capture.frames.size() << " frames, "
        << capture.scopes.size() << " scope reports; sink inputs:\n"
        << server.output("pactl list sink-inputs | grep -E 'Sink Input|process.binary|Corked'; "
                         "pactl list source-outputs | grep -E 'Source Output|Source:|Corked|media.name'");
    // A null sink plays nowhere: its buffer length (up to 2 s) holds nothing back.
    EXPECT_EQ(capture.monitor->holdBackSeconds(), 0.0);
    // The whole output's stream is paused meanwhile (the fallback below hears it again).
    EXPECT_EQ(std::stoi(server.output("pactl list source-outputs | grep -c 'Corked: yes'")), 1);

    // Another program's burst leaves the level where the quiet player keeps it...
    double start = capture.elapsed();
    server.play(burst);
    capture.pump(1.4);
    EXPECT_LT(capture.peakSince(start), 0.6);
    // ...and raises it once the whole output is recorded.
    capture.monitor->follow(PlayerAudioIdentity{});
    ASSERT_TRUE(capture.pumpUntil([&] { return !capture.playerOnly(); }, 1.0));
    start = capture.elapsed();
    server.play(burst);
    capture.pump(1.4);
    EXPECT_GT(capture.peakSince(start), 0.9);

    // A player nobody plays: the whole output, and it says so.
    capture.monitor->follow(PlayerAudioIdentity{"nobody", {999999}, {}, {"nothing"}});
    capture.pump(0.3);
    EXPECT_FALSE(capture.playerOnly());

    // The player's stream moved to a second output is recorded there.
    capture.monitor->follow(player);
    ASSERT_TRUE(capture.pumpUntil([&] { return capture.playerOnly(); }, 1.0));
    ASSERT_EQ(server.run("pactl load-module module-null-sink sink_name=second"), 0);
    const std::string sinkInput = playerSinkInput();
    ASSERT_FALSE(sinkInput.empty());
    ASSERT_EQ(server.run("pactl move-sink-input " + sinkInput + " second"), 0);
    capture.pump(2.5);
    EXPECT_TRUE(capture.playerOnly());
    start = capture.elapsed();
    capture.pump(0.8);
    EXPECT_GT(capture.peakSince(start), 0.2) << "the moved stream is not recorded (silence on the old output)";

    // Next track: the quiet stream ends, a new one starts; followed within 0.5 s.
    const std::size_t before = capture.scopes.size();
    ASSERT_TRUE(capture.pumpUntil([&] { return capture.peakSince(capture.elapsed() - 0.2) > 0.9; }, 12.0))
        << "the next track's stream was not recorded";
    double lost = -1, found = -1;
    for (std::size_t i = before; i < capture.scopes.size(); ++i) {
        const auto& [time, playerOnly] = capture.scopes[i];
        if (!playerOnly) lost = time;
        if (playerOnly && lost > 0 && found < lost) found = time;
    }
    if (lost > 0) {
        EXPECT_LT(found - lost, 0.5) << "the new stream was recorded only after the old one had gone for as long";
    }
    EXPECT_TRUE(capture.failures.empty());
    capture.monitor->stop();
}

}  // namespace

// PipeWire's PulseAudio service reports 0 for every output's latency; PipeWire's own interface
// has it. Frames are held back by the latency an output reports there, and not at all on a
// virtual output.
TEST(PipeWireOutputLatencyTest, HoldsFramesBackByTheLatencyPipeWireReports) {
    PrivatePulseServer server{SoundServer::pipeWire};
    server.useFromThisProcess();
    Child headset({"env", "PIPEWIRE_RUNTIME_DIR=" + server.runtimeDir(), SONAVISTA_LATENCY_SINK, "headset", "200"});
    ASSERT_TRUE(eventually([&] { return server.run("pactl list sinks short | grep -qw headset") == 0; }));

    sonavista::testing::ScopedEnvironment environment;  // put back however the test ends
    environment.set("PIPEWIRE_RUNTIME_DIR", server.runtimeDir());
    auto latency = std::make_shared<PipeWireOutputLatency>();
    ASSERT_TRUE(latency->connected());
    EXPECT_TRUE(eventually([&] { return std::abs(latency->latencyOf("headset").value_or(0.0) - 0.2) < 1e-6; }));
    EXPECT_EQ(latency->latencyOf("out"), 0.0);
    EXPECT_FALSE(latency->latencyOf("no such output"));

    MonitoredCapture capture(std::make_shared<PulsePlayerCapture>(std::make_shared<PulseAudioCapture>(),
                                                                  std::make_shared<ProcProcessTree>(), latency));
    capture.monitor->start();
    capture.pump(1.5);
    EXPECT_EQ(capture.monitor->holdBackSeconds(), 0.0);
    // The headset becomes the default output, and plays; its latency is read within a second.
    server.play(server.generate("tone", "20 sine 440 vol 0.3"), "headset");
    ASSERT_EQ(server.run("pactl set-default-sink headset"), 0);
    EXPECT_TRUE(capture.pumpUntil([&] { return std::abs(capture.monitor->holdBackSeconds() - 0.2) < 1e-3; }, 3.0))
        << "held back by " << capture.monitor->holdBackSeconds() << " s";
    capture.monitor->stop();

    // PipeWire restarted: what was learnt is dropped, and the new PipeWire's outputs are followed.
    server.restartPipeWire();
    EXPECT_TRUE(eventually([&] { return !latency->latencyOf("headset"); }));
    Child again({"env", "PIPEWIRE_RUNTIME_DIR=" + server.runtimeDir(), SONAVISTA_LATENCY_SINK, "headset", "150"});
    EXPECT_TRUE(eventually([&] { return std::abs(latency->latencyOf("headset").value_or(0.0) - 0.15) < 1e-6; }))
        << "the restarted PipeWire is not followed";
}
