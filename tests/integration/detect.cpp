// sonavista-detect against a real MPRIS player (mpv) on a private session bus. (Reports through
// the bridge, without a session bus, are the browser extension test's.)

#include "PrivatePulseServer.h"
#include "support/Child.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace sonavista {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::PrintToString;
using testing::Child;
using testing::Env;
using testing::eventually;
using testing::runProgram;

const std::string idleLine = R"({"player": null, "state": "notRunning", "volumeLevel": 0.0})";

// The detector's line for a player in `state`.
std::string snapshot(const std::string& player, const std::string& name, const std::string& state,
                     const std::string& volume = "1.0") {
    return R"({"player": ")" + player + R"(", "playerName": ")" + name + R"(", "state": ")" + state +
           R"(", "volumeLevel": )" + volume + "}";
}

class DetectIntegration : public ::testing::Test {
protected:
    void SetUp() override {
        env["PULSE_SERVER"] = "unix:" + (root / "no-pulse").string();
        const auto address =
            spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"}, Child::readOutput)
                .readLine(10s);
        ASSERT_TRUE(address && !address->empty()) << "no private session bus";
        env["DBUS_SESSION_BUS_ADDRESS"] = *address;
    }

    Child& spawn(const std::vector<std::string>& argv, int pipes = Child::noPipes) {
        children.push_back(std::make_unique<Child>(argv, pipes, env));
        return *children.back();
    }

    testing::TempDir root{"sonavista-detect"};  // declared first: outlives the children
    const std::string detect = SONAVISTA_TEST_BINARY_DIR "/tools/detect/sonavista-detect";
    Env env = root.isolatedEnv();
    std::vector<std::unique_ptr<Child>> children;
};

// A catalogue player followed from playing through paused to gone: mpv copied (not linked:
// /proc/PID/exe must carry the name) as "spotify", so that its process resolves to Spotify.
// (A player outside the catalogue is followed by the end-to-end test.)
TEST_F(DetectIntegration, FollowsAnMprisPlayerThroughPlayingPausedAndGone) {
    const auto wav = (root / "tone.wav").string(), spotify = (root / "spotify").string();
    ASSERT_EQ(runProgram({"sox", "-n", "-r", "22050", "-c", "2", wav, "synth", "2", "sine", "440"}), 0);
    fs::copy_file("/usr/bin/mpv", spotify);
    auto& player = spawn({spotify, "--no-config", "--no-terminal", "--ao=null", "--vo=null", "--loop=inf",
                          "--script=/usr/lib/mpv-mpris/mpris.so", wav});
    const auto mpvPlays = [&] {
        return Child({"playerctl", "--player=mpv", "status"}, Child::readOutput, env).readLine(2s) == "Playing";
    };
    ASSERT_TRUE(eventually(mpvPlays, 10s)) << "mpv never appeared on the bus as playing";

    auto& detector = spawn({detect, "--no-bridge", "--enabled", "spotify,youtube"}, Child::readOutput);
    auto lines = detector.readUntil(snapshot("spotify", "Spotify", "playing"), 10s);
    ASSERT_EQ(lines, std::vector{snapshot("spotify", "Spotify", "playing")}) << "the first line should be playing";

    ASSERT_EQ(runProgram({"playerctl", "--player=mpv", "pause"}, env), 0);
    lines = detector.readUntil(snapshot("spotify", "Spotify", "paused"), 10s);
    ASSERT_EQ(lines.back(), snapshot("spotify", "Spotify", "paused")) << PrintToString(lines);

    player.kill(SIGTERM);
    player.wait(5s);
    lines = detector.readUntil(idleLine, 10s);
    ASSERT_EQ(lines.back(), idleLine) << PrintToString(lines);
    detector.kill(SIGINT);  // (SIGTERM is the browser extension test's)
    EXPECT_EQ(detector.wait(5s), 0);
}

TEST_F(DetectIntegration, BadArgumentsExitWithStatusTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"--enabled", "winamp"}, {"--enabled", "Spotify"}, {"--enabled", "mpris:my player"},
        {"--frobnicate"},        {"--enabled"},            {"--bridge-port", "70000"}};
    for (std::vector<std::string> args : cases) {
        args.insert(args.begin(), detect);
        EXPECT_EQ(runProgram(args, env), 2) << args[1];
    }
    EXPECT_EQ(runProgram({detect, "--help"}, env), 0);
}

}  // namespace
}  // namespace sonavista
