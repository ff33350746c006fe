// sonavista-detect against a real MPRIS player (mpv) on a private session bus. (Reports through
// the bridge, without a session bus, are the browser extension test's.)

#include "PrivatePulseServer.h"
#include "support/Child.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace sonavista {
namespace {

using namespace std::chrono_literals;
using ::testing::PrintToString;
using testing::Child;
using testing::runTool;

const std::string detect = SONAVISTA_TEST_BINARY_DIR "/tools/detect/sonavista-detect";
const std::string idle = R"({"player": null, "state": "notRunning", "volumeLevel": 0.0})";
const std::string playing = R"({"player": "spotify", "playerName": "Spotify", "state": "playing", "volumeLevel": 1.0})";
const std::string paused = R"({"player": "spotify", "playerName": "Spotify", "state": "paused", "volumeLevel": 1.0})";

// A catalogue player followed from playing through paused to gone: mpv copied (not linked:
// /proc/PID/exe must carry the name) as "spotify", so that its process resolves to Spotify.
// (A player outside the catalogue is followed by the end-to-end test.)
TEST(DetectIntegration, FollowsAnMprisPlayerThroughPlayingPausedAndGone) {
    testing::TempDir root("sonavista-detect");  // declared first: outlives the processes
    auto env = root.isolatedEnv();
    env["PULSE_SERVER"] = "unix:" + (root / "no-pulse").string();
    Child bus({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"}, Child::readOutput, env);
    const auto address = bus.readLine(10s);
    ASSERT_TRUE(address && !address->empty()) << "no private session bus";
    env["DBUS_SESSION_BUS_ADDRESS"] = *address;

    const auto wav = (root / "tone.wav").string(), spotify = (root / "spotify").string();
    ASSERT_EQ(runTool({"sox", "-n", "-r", "22050", "-c", "2", wav, "synth", "2", "sine", "440"}).status, 0);
    std::filesystem::copy_file("/usr/bin/mpv", spotify);
    Child player({spotify, "--no-config", "--no-terminal", "--ao=null", "--vo=null", "--loop=inf",
                  "--script=/usr/lib/mpv-mpris/mpris.so", wav},
                 Child::noPipes, env);
    const auto mpvPlays = [&] {
        return Child({"playerctl", "--player=mpv", "status"}, Child::readOutput, env).readLine(2s) == "Playing";
    };
    ASSERT_TRUE(testing::eventually(mpvPlays, 10s)) << "mpv never appeared on the bus as playing";

    Child detector({detect, "--no-bridge", "--enabled", "spotify,youtube"}, Child::readOutput, env);
    auto lines = detector.readUntil(playing, 10s);
    ASSERT_EQ(lines, std::vector{playing}) << "the first line should be the playing one";

    ASSERT_EQ(runTool({"playerctl", "--player=mpv", "pause"}, env).status, 0);
    lines = detector.readUntil(paused, 10s);
    ASSERT_EQ(lines.back(), paused) << PrintToString(lines);

    // Quit as a desktop's player controls ask: the player leaves the bus first and its process
    // ends a moment later. It reads not running at once, not at the next quiet rescan (2 s).
    ASSERT_EQ(runTool({"dbus-send", "--session", "--type=method_call", "--dest=org.mpris.MediaPlayer2.mpv",
                       "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Quit"},
                      env)
                  .status,
              0);
    lines = detector.readUntil(idle, 1500ms);
    ASSERT_TRUE(!lines.empty() && lines.back() == idle) << PrintToString(lines);
    player.wait(5s);
    detector.kill(SIGINT);  // (SIGTERM is the browser extension test's)
    EXPECT_EQ(detector.wait(5s), 0);
}

TEST(DetectIntegration, BadArgumentsExitWithStatusTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"--enabled", "winamp"}, {"--enabled", "Spotify"}, {"--enabled", "mpris:my player"},
        {"--frobnicate"},        {"--enabled"},            {"--bridge-port", "70000"}};
    for (std::vector<std::string> args : cases) {
        args.insert(args.begin(), detect);
        EXPECT_EQ(runTool(args).status, 2) << args[1];
    }
    EXPECT_EQ(runTool({detect, "--help"}).status, 0);
}

}  // namespace
}  // namespace sonavista
