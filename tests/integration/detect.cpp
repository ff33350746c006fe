// End-to-end checks of playback detection against real components, each private to the test:
// a session bus of its own, mpv with its MPRIS plugin running as a copy named "spotify",
// playerctl to drive it, a private PulseAudio server, and sonavista-detect itself.

#include "playback/PulseOutputVolume.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace sonavista {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Env = std::map<std::string, std::string>;

// A child process with an optional pipe from its standard output.
class Child {
public:
    Child(const std::vector<std::string>& argv, const Env& env, bool captureOutput = false) {
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<std::string> envText;
        for (const auto& [k, v] : env) envText.push_back(k + "=" + v);
        std::vector<char*> envp;
        for (auto& e : envText) envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int fds[2] = {-1, -1};
        if (captureOutput) {
            EXPECT_EQ(::pipe(fds), 0);
            posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
            posix_spawn_file_actions_addclose(&actions, fds[0]);
        }
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        int rc = ::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0) << argv[0];
        if (captureOutput) {
            ::close(fds[1]);
            out_ = fds[0];
        }
    }
    ~Child() {
        kill(SIGKILL);
        wait(5s);
        if (out_ >= 0) ::close(out_);
    }

    void kill(int signal) {
        if (pid_ > 0 && !status_) ::kill(pid_, signal);
    }
    // The exit status (or 128 + signal), nothing if still running after `timeout`.
    std::optional<int> wait(std::chrono::milliseconds timeout) {
        auto until = std::chrono::steady_clock::now() + timeout;
        while (pid_ > 0 && !status_) {
            int raw = 0;
            if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            } else if (std::chrono::steady_clock::now() > until) {
                break;
            } else {
                std::this_thread::sleep_for(10ms);
            }
        }
        return status_;
    }
    std::optional<std::string> readLine(std::chrono::milliseconds timeout) {
        auto until = std::chrono::steady_clock::now() + timeout;
        while (true) {
            if (auto newline = buffer_.find('\n'); newline != std::string::npos) {
                auto line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0 || out_ < 0) return std::nullopt;
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[512];
            auto n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    // Reads lines until one equals `expected`; returns every line read.
    std::vector<std::string> readUntil(const std::string& expected, std::chrono::milliseconds timeout) {
        std::vector<std::string> lines;
        auto until = std::chrono::steady_clock::now() + timeout;
        while (true) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            auto line = readLine(std::max(left, 0ms));
            if (!line) return lines;
            lines.push_back(*line);
            if (*line == expected) return lines;
        }
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::optional<int> status_;
    std::string buffer_;
};

int run(const std::vector<std::string>& argv, const Env& env) {
    Child child(argv, env);
    return child.wait(10s).value_or(-1);
}

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

bool postPlayback(std::uint16_t port, const std::string& body) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        return false;
    }
    std::string request = "POST /playback HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Sonavista-Connector: 1\r\n"
                          "Content-Type: application/json\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    bool sent = ::send(s, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
    char answer[256] = {};
    auto n = ::recv(s, answer, sizeof answer - 1, 0);
    ::close(s);
    return sent && n > 0 && std::string(answer).starts_with("HTTP/1.1 204");
}

class DetectIntegration : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("sonavista-detect-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        for (auto dir : {"home", "run", "config", "bin"}) fs::create_directories(root / dir);
        fs::permissions(root / "run", fs::perms::owner_all, fs::perm_options::replace);
        env = {{"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
               {"HOME", (root / "home").string()},
               {"XDG_RUNTIME_DIR", (root / "run").string()},
               {"XDG_CONFIG_HOME", (root / "config").string()},
               {"PULSE_SERVER", "unix:" + (root / "no-pulse").string()},
               {"LANG", "C.UTF-8"}};
        const char* binaryDir = std::getenv("SONAVISTA_BINARY_DIR");
        ASSERT_NE(binaryDir, nullptr) << "run through ctest, which sets SONAVISTA_BINARY_DIR";
        detect = fs::path(binaryDir) / "tools" / "detect" / "sonavista-detect";
        ASSERT_TRUE(fs::exists(detect)) << detect;
    }
    void TearDown() override {
        children.clear();
        fs::remove_all(root);
    }

    Child& spawn(const std::vector<std::string>& argv, const Env& childEnv, bool capture = false) {
        children.push_back(std::make_unique<Child>(argv, childEnv, capture));
        return *children.back();
    }
    // A copy (not a link: /proc/PID/exe must carry the name) of mpv named `name`, so that its
    // process resolves to the player of that name.
    std::vector<std::string> playerCommand(const std::string& name, bool withMpris) {
        auto wav = root / "tone.wav";
        if (!fs::exists(wav)) {
            EXPECT_EQ(run({"sox", "-n", "-r", "22050", "-c", "2", wav.string(), "synth", "2", "sine", "440"}, env), 0);
        }
        fs::copy_file("/usr/bin/mpv", root / "bin" / name, fs::copy_options::overwrite_existing);
        std::vector<std::string> argv = {(root / "bin" / name).string(), "--no-config", "--no-terminal",
                                         "--ao=null", "--vo=null", "--loop=inf"};
        if (withMpris) argv.push_back("--script=/usr/lib/mpv-mpris/mpris.so");
        argv.push_back(wav.string());
        return argv;
    }

    fs::path root;
    fs::path detect;
    Env env;
    std::vector<std::unique_ptr<Child>> children;
};

const std::string idleLine = R"({"player": null, "state": "notRunning", "volumeLevel": 0.0})";
const std::string spotifyPlaying = R"({"player": "spotify", "state": "playing", "volumeLevel": 1.0})";
const std::string spotifyPaused = R"({"player": "spotify", "state": "paused", "volumeLevel": 1.0})";

TEST_F(DetectIntegration, FollowsAnMprisPlayerThroughPlayingPausedAndGone) {
    auto& bus = spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"}, env, true);
    auto address = bus.readLine(10s);
    ASSERT_TRUE(address && !address->empty()) << "no private session bus";
    Env busEnv = env;
    busEnv["DBUS_SESSION_BUS_ADDRESS"] = *address;

    auto& player = spawn(playerCommand("spotify", true), busEnv);
    bool registered = false;
    for (int i = 0; i < 100 && !registered; ++i) {
        Child status({"playerctl", "--player=mpv", "status"}, busEnv, true);
        registered = status.readLine(2s) == std::optional<std::string>("Playing");
        if (!registered) std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(registered) << "mpv never appeared on the bus as playing";

    auto& detector = spawn({detect.string(), "--no-bridge", "--enabled", "spotify,youtube"}, busEnv, true);
    auto lines = detector.readUntil(spotifyPlaying, 10s);
    ASSERT_EQ(lines.back(), spotifyPlaying) << joined(lines);
    EXPECT_EQ(lines.size(), 1u) << "the first snapshot should already be the playing one:\n" << joined(lines);

    ASSERT_EQ(run({"playerctl", "--player=mpv", "pause"}, busEnv), 0);
    lines = detector.readUntil(spotifyPaused, 10s);
    ASSERT_EQ(lines.back(), spotifyPaused) << joined(lines);

    player.kill(SIGTERM);
    player.wait(5s);
    lines = detector.readUntil(idleLine, 10s);
    ASSERT_EQ(lines.back(), idleLine) << joined(lines);

    detector.kill(SIGTERM);
    EXPECT_EQ(detector.wait(5s), 0);
}

TEST_F(DetectIntegration, WithoutSessionBusDetectsFromProcessesAndBrowserReports) {
    // QQ Music rather than Spotify, so that this test and the one above, which may run at the
    // same time, each see only their own player in /proc.
    spawn(playerCommand("qqmusic", false), env);
    auto port = freePort();
    auto& detector =
        spawn({detect.string(), "--bridge-port", std::to_string(port), "--enabled", "qqMusic,youtube"}, env, true);
    // Found among the processes; a player that cannot be asked counts as paused.
    const std::string qqMusicPaused = R"({"player": "qqMusic", "state": "paused", "volumeLevel": 1.0})";
    auto lines = detector.readUntil(qqMusicPaused, 10s);
    ASSERT_EQ(lines.back(), qqMusicPaused) << joined(lines);

    // A playing browser page wins over the native player.
    bool accepted = false;
    for (int i = 0; i < 50 && !accepted; ++i) {
        accepted = postPlayback(port, R"({"source":"youtube","pageId":"tab-1","playing":true,"volume":0.25})");
        if (!accepted) std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(accepted) << "the bridge did not accept the report";
    const std::string youtubePlaying = R"({"player": "youtube", "state": "playing", "volumeLevel": 0.25})";
    lines = detector.readUntil(youtubePlaying, 5s);
    ASSERT_EQ(lines.back(), youtubePlaying) << joined(lines);

    detector.kill(SIGINT);
    EXPECT_EQ(detector.wait(5s), 0);
}

TEST_F(DetectIntegration, BadArgumentsExitWithStatusTwo) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--enabled", "winamp"},
                                          std::vector<std::string>{"--enabled", "Spotify"},
                                          std::vector<std::string>{"--frobnicate"},
                                          std::vector<std::string>{"--enabled"},
                                          std::vector<std::string>{"--bridge-port", "70000"}}) {
        args.insert(args.begin(), detect.string());
        EXPECT_EQ(run(args, env), 2) << args[1];
    }
    EXPECT_EQ(run({detect.string(), "--help"}, env), 0);
}

TEST_F(DetectIntegration, PulseVolumeFollowsTheDefaultSink) {
    Env pulseEnv = env;
    pulseEnv.erase("PULSE_SERVER");
    ASSERT_EQ(run({"pulseaudio", "--daemonize=yes", "--exit-idle-time=-1", "-n",
                   "--load=module-null-sink sink_name=out", "--load=module-native-protocol-unix"},
                  pulseEnv),
              0);
    ASSERT_EQ(run({"pactl", "set-sink-volume", "out", "50%"}, pulseEnv), 0);

    ::setenv("XDG_RUNTIME_DIR", pulseEnv["XDG_RUNTIME_DIR"].c_str(), 1);
    ::setenv("HOME", pulseEnv["HOME"].c_str(), 1);
    ::unsetenv("PULSE_SERVER");
    auto waitFor = [](PulseOutputVolume& volume, double expected) {
        for (int i = 0; i < 500 && std::abs(volume.systemOutputVolume() - expected) > 0.001; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return volume.systemOutputVolume();
    };
    {
        PulseOutputVolume volume("integration");
        EXPECT_DOUBLE_EQ(waitFor(volume, 0.5), 0.5);
        ASSERT_EQ(run({"pactl", "set-sink-volume", "out", "25%"}, pulseEnv), 0);
        EXPECT_DOUBLE_EQ(waitFor(volume, 0.25), 0.25);
        ASSERT_EQ(run({"pactl", "set-sink-volume", "out", "150%"}, pulseEnv), 0);
        EXPECT_DOUBLE_EQ(waitFor(volume, 1.0), 1.0);
        ASSERT_EQ(run({"pactl", "set-sink-volume", "out", "40%"}, pulseEnv), 0);
        EXPECT_NEAR(waitFor(volume, 0.4), 0.4, 0.001);

        // The server goes away: full volume again, without blocking the reader.
        run({"pulseaudio", "--kill"}, pulseEnv);
        EXPECT_DOUBLE_EQ(waitFor(volume, 1.0), 1.0);
        EXPECT_FALSE(volume.isConnected());
    }
    run({"pulseaudio", "--kill"}, pulseEnv);
}

}  // namespace
}  // namespace sonavista
