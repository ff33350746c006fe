// End-to-end checks of playback detection against real components, each private to the test:
// a session bus of its own, mpv with its MPRIS plugin (as itself, and as a copy named
// "spotify"), playerctl to drive it, a stand-in browser publishing its page address, a private
// PulseAudio server, and sonavista-detect itself.

#include "playback/PulseOutputVolume.h"
#include "PrivatePulseServer.h"
#include "support/Child.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sonavista {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::Child;
using testing::Env;

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    return text;
}

std::uint16_t freePort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

// Posts a playback report to the bridge on `port`; whether it answered 204.
bool postPlayback(std::uint16_t port, const std::string& body) {
    return testing::runTool({"curl", "-s", "--max-time", "2", "-o", "/dev/null", "-w", "%{http_code}", "-X", "POST",
                             "-H", "X-Sonavista-Connector: 1", "-H", "Content-Type: application/json", "-d", body,
                             "http://127.0.0.1:" + std::to_string(port) + "/playback"})
               .out == "204";
}

class DetectIntegration : public ::testing::Test {
protected:
    void SetUp() override {
        env = root.isolatedEnv();
        env["PULSE_SERVER"] = "unix:" + (root / "no-pulse").string();
        fs::create_directories(root / "bin");
        const char* binaryDir = std::getenv("SONAVISTA_BINARY_DIR");
        ASSERT_NE(binaryDir, nullptr) << "run through ctest, which sets SONAVISTA_BINARY_DIR";
        detect = fs::path(binaryDir) / "tools" / "detect" / "sonavista-detect";
        ASSERT_TRUE(fs::exists(detect)) << detect;
    }
    void TearDown() override { children.clear(); }

    Child& spawn(const std::vector<std::string>& argv, const Env& childEnv, int pipes = Child::noPipes) {
        children.push_back(std::make_unique<Child>(argv, pipes, childEnv));
        return *children.back();
    }
    // A copy (not a link: /proc/PID/exe must carry the name) of mpv named `name`, so that its
    // process resolves to the player of that name.
    std::vector<std::string> playerCommand(const std::string& name, bool withMpris) {
        auto wav = root / "tone.wav";
        if (!fs::exists(wav)) {
            EXPECT_EQ(testing::runTool({"sox", "-n", "-r", "22050", "-c", "2", wav.string(), "synth", "2", "sine", "440"}, env).status, 0);
        }
        fs::copy_file("/usr/bin/mpv", root / "bin" / name, fs::copy_options::overwrite_existing);
        std::vector<std::string> argv = {(root / "bin" / name).string(), "--no-config", "--no-terminal",
                                         "--ao=null", "--vo=null", "--loop=inf"};
        if (withMpris) argv.push_back("--script=/usr/lib/mpv-mpris/mpris.so");
        argv.push_back(wav.string());
        return argv;
    }

    // A private session bus for this test; its address, or nothing.
    std::optional<Env> privateBus() {
        auto& bus = spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"}, env,
                          Child::readOutput);
        auto address = bus.readLine(10s);
        if (!address || address->empty()) return std::nullopt;
        Env busEnv = env;
        busEnv["DBUS_SESSION_BUS_ADDRESS"] = *address;
        return busEnv;
    }
    // Waits until playerctl sees the player `name` in `status`.
    static bool playerIs(const Env& busEnv, const std::string& name, const std::string& status) {
        for (int i = 0; i < 100; ++i) {
            Child check({"playerctl", "--player=" + name, "status"}, Child::readOutput, busEnv);
            if (check.readLine(2s) == std::optional<std::string>(status)) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    testing::TempDir root{"sonavista-detect"};  // declared first: outlives the children
    fs::path detect;
    Env env;
    std::vector<std::unique_ptr<Child>> children;
};

const std::string idleLine = R"({"player": null, "state": "notRunning", "volumeLevel": 0.0})";
const std::string spotifyPlaying = R"({"player": "spotify", "playerName": "Spotify", "state": "playing", "volumeLevel": 1.0})";
const std::string spotifyPaused = R"({"player": "spotify", "playerName": "Spotify", "state": "paused", "volumeLevel": 1.0})";

// A catalogue player (mpv under Spotify's name) followed from playing through paused to gone.
// (A player outside the catalogue is followed by the end-to-end test.)
TEST_F(DetectIntegration, FollowsAnMprisPlayerThroughPlayingPausedAndGone) {
    auto busEnv = privateBus();
    ASSERT_TRUE(busEnv) << "no private session bus";
    auto& player = spawn(playerCommand("spotify", true), *busEnv);
    ASSERT_TRUE(playerIs(*busEnv, "mpv", "Playing")) << "mpv never appeared on the bus as playing";

    auto& detector = spawn({detect.string(), "--no-bridge", "--enabled", "spotify,youtube"}, *busEnv, Child::readOutput);
    auto lines = detector.readUntil(spotifyPlaying, 10s);
    ASSERT_EQ(lines.back(), spotifyPlaying) << joined(lines);
    EXPECT_EQ(lines.size(), 1u) << "the first snapshot should already be the playing one:\n" << joined(lines);

    // From the moment playerctl has sent the pause to the snapshot line: the signal, not the
    // next timed pass, brings it.
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_EQ(testing::runTool({"playerctl", "--player=mpv", "pause"}, *busEnv).status, 0);
    lines = detector.readUntil(spotifyPaused, 10s);
    const auto latency = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count();
    ASSERT_EQ(lines.back(), spotifyPaused) << joined(lines);
    std::printf("pause to snapshot: %.1f ms\n", latency);

    player.kill(SIGTERM);
    player.wait(5s);
    lines = detector.readUntil(idleLine, 10s);
    ASSERT_EQ(lines.back(), idleLine) << joined(lines);
    detector.kill(SIGTERM);
    EXPECT_EQ(detector.wait(5s), 0);
}

TEST_F(DetectIntegration, BrowserPageAddressDecidesTheWebPlayer) {
    auto busEnv = privateBus();
    ASSERT_TRUE(busEnv) << "no private session bus";
    const char* sourceDir = std::getenv("SONAVISTA_SOURCE_DIR");
    ASSERT_NE(sourceDir, nullptr);
    auto& browser = spawn({"/usr/bin/python3", std::string(sourceDir) + "/tests/integration/mpris_browser.py"},
                          *busEnv, Child::readOutput | Child::writeInput);
    ASSERT_EQ(browser.readLine(10s), std::optional<std::string>("ready"));

    // The browser itself is not enabled. (Native catalogue players are left out so that
    // processes of other tests cannot interfere.)
    auto& detector =
        spawn({detect.string(), "--no-bridge", "--enabled", "youtube,spotifyWeb,mpris:vlc"}, *busEnv, Child::readOutput);
    ASSERT_EQ(detector.readLine(10s), idleLine);
    const std::string youtube = R"({"player": "youtube", "playerName": "YouTube", "state": "playing", "volumeLevel": 1.0})";
    for (const auto& [command, expected] :
         {std::pair<std::string, std::string>{"play https://music.youtube.com/watch?v=1", youtube},
          {"play https://open.spotify.com/track/1",
           R"({"player": "spotifyWeb", "playerName": "Spotify Web", "state": "playing", "volumeLevel": 1.0})"},
          {"pause", R"({"player": "spotifyWeb", "playerName": "Spotify Web", "state": "paused", "volumeLevel": 1.0})"}}) {
        browser.send(command);
        auto lines = detector.readUntil(expected, 5s);
        ASSERT_EQ(lines.back(), expected) << command << "\n" << joined(lines);
    }
    detector.kill(SIGTERM);
    EXPECT_EQ(detector.wait(5s), 0);
}

TEST_F(DetectIntegration, WithoutSessionBusDetectsFromProcessesAndBrowserReports) {
    // QQ Music rather than Spotify, so that this test and the one above, which may run at the
    // same time, each see only their own player in /proc.
    spawn(playerCommand("qqmusic", false), env);
    auto port = freePort();
    auto& detector =
        spawn({detect.string(), "--bridge-port", std::to_string(port), "--enabled", "qqMusic,youtube"}, env, Child::readOutput);
    // Found among the processes; a player that cannot be asked counts as paused.
    const std::string qqMusicPaused = R"({"player": "qqMusic", "playerName": "QQ Music", "state": "paused", "volumeLevel": 1.0})";
    auto lines = detector.readUntil(qqMusicPaused, 10s);
    ASSERT_EQ(lines.back(), qqMusicPaused) << joined(lines);

    // A playing browser page wins over the native player.
    bool accepted = false;
    for (int i = 0; i < 50 && !accepted; ++i) {
        accepted = postPlayback(port, R"({"source":"youtube","pageId":"tab-1","playing":true,"volume":0.25})");
        if (!accepted) std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(accepted) << "the bridge did not accept the report";
    const std::string youtubePlaying = R"({"player": "youtube", "playerName": "YouTube", "state": "playing", "volumeLevel": 0.25})";
    lines = detector.readUntil(youtubePlaying, 5s);
    ASSERT_EQ(lines.back(), youtubePlaying) << joined(lines);

    detector.kill(SIGINT);
    EXPECT_EQ(detector.wait(5s), 0);
}

TEST_F(DetectIntegration, BadArgumentsExitWithStatusTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"--enabled", "winamp"}, {"--enabled", "Spotify"},   {"--enabled", "spotify,mpris:"},
        {"--enabled", "mpris:my player"}, {"--enabled", "mpris:a/b"}, {"--frobnicate"},
        {"--enabled"}, {"--bridge-port", "70000"}};
    for (std::vector<std::string> args : cases) {
        args.insert(args.begin(), detect.string());
        EXPECT_EQ(testing::runTool(args, env).status, 2) << args[1];
    }
    EXPECT_EQ(testing::runTool({detect.string(), "--help"}, env).status, 0);
}

TEST_F(DetectIntegration, PulseVolumeFollowsTheDefaultSink) {
    testing::PrivatePulseServer server;
    server.useFromThisProcess();
    ASSERT_EQ(server.run("pactl set-sink-volume out 50%"), 0);
    auto waitFor = [](PulseOutputVolume& volume, double expected) {
        for (int i = 0; i < 500 && std::abs(volume.systemOutputVolume() - expected) > 0.001; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return volume.systemOutputVolume();
    };
    PulseOutputVolume volume("integration");
    EXPECT_DOUBLE_EQ(waitFor(volume, 0.5), 0.5);
    for (const auto& [percent, expected] : {std::pair{"25%", 0.25}, {"150%", 1.0}, {"40%", 0.4}}) {
        ASSERT_EQ(server.run(std::string("pactl set-sink-volume out ") + percent), 0);
        EXPECT_NEAR(waitFor(volume, expected), expected, 0.001) << percent;
    }

    // The server goes away: full volume again, without blocking the reader.
    server.kill(SIGKILL);
    EXPECT_DOUBLE_EQ(waitFor(volume, 1.0), 1.0);
    EXPECT_FALSE(volume.isConnected());
}

}  // namespace
}  // namespace sonavista
