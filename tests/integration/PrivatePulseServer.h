#pragma once

#include "support/Child.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

namespace sonavista::testing {

// A private PulseAudio server for one test: its own runtime, home and config directories
// under a temporary directory, a null sink "out" and a native socket at `socketPath()`.
// Never touches a sound server of the user's session. Killed when the object goes away.
class PrivatePulseServer {
public:
    explicit PrivatePulseServer(bool refuseForeignClients = false) : dir_("sonavista-pulse") {
        // Reachable by the unprivileged client of the access test; the runtime dir stays private.
        chmod(dir().c_str(), 0755);
        env_ = dir_.isolatedEnv();
        const std::string auth = refuseForeignClients
                                     ? "auth-anonymous=0 auth-cookie-enabled=1 auth-group-enable=0"
                                     : "auth-anonymous=1";
        server_ = std::make_unique<Child>(
            std::vector<std::string>{"pulseaudio", "--daemonize=no", "--system=no", "--exit-idle-time=-1", "-n",
                                     "--use-pid-file=no", "--log-target=file:" + (dir_ / "server.log").string(),
                                     "--load=module-null-sink sink_name=out",
                                     "--load=module-native-protocol-unix socket=" + socketPath() + " " + auth},
            Child::noPipes, env_);
        for (int i = 0; i < 200 && !std::filesystem::exists(socketPath()); ++i) sleepSeconds(0.02);
        chmod(socketPath().c_str(), 0777);
        // Ready once it answers.
        for (int i = 0; i < 100 && !refuseForeignClients && run("pactl info") != 0; ++i) sleepSeconds(0.05);
    }

    std::string socketPath() const { return (dir_ / "native").string(); }
    std::string server() const { return "unix:" + socketPath(); }
    const std::filesystem::path& dir() const { return dir_.path(); }

    // Points this process's libpulse clients at the server, with no user config.
    void useFromThisProcess() const {
        setenv("PULSE_SERVER", server().c_str(), 1);
        setenv("HOME", dir().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir_ / "client-run").c_str(), 1);
    }

    // Runs a shell command against this server; returns its exit status.
    int run(const std::string& command) const {
        return std::system(("PULSE_SERVER=" + server() + " HOME=" + dir().string() + " " + command + " >/dev/null 2>&1").c_str());
    }
    std::string output(const std::string& command) const {
        const std::string file = (dir_ / "output.txt").string();
        if (std::system(("PULSE_SERVER=" + server() + " HOME=" + dir().string() + " " + command + " >" + file + " 2>&1").c_str())) {
        }
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Plays a file into `sink` in the background.
    void play(const std::string& file, const std::string& sink = "out") {
        Env env = env_;
        env["PULSE_SERVER"] = server();
        players_.push_back(std::make_unique<Child>(std::vector<std::string>{"paplay", "--device=" + sink, file},
                                                   Child::noPipes, env));
    }

    void kill(int signal) {
        server_->kill(signal);
        server_->wait(std::chrono::seconds(5));
    }

    static void sleepSeconds(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

    // Generates a 48 kHz stereo WAV with sox from consecutive parts, each given as the
    // arguments of sox's synth effect, e.g. "1 sine 440 vol 0.5".
    std::string generate(const std::string& name, const std::vector<std::string>& parts) const {
        std::vector<std::string> files;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            files.push_back((dir_ / (name + std::to_string(i) + ".wav")).string());
            EXPECT_EQ(std::system(("sox -n -r 48000 -c 2 -b 16 " + files.back() + " synth " + parts[i]).c_str()), 0);
        }
        const std::string out = (dir_ / (name + ".wav")).string();
        std::string command = "sox";
        for (const auto& f : files) command += " " + f;
        EXPECT_EQ(std::system((command + " " + out).c_str()), 0);
        return out;
    }

private:
    TempDir dir_;  // declared first: removed after the processes below have ended
    Env env_;
    std::unique_ptr<Child> server_;
    std::vector<std::unique_ptr<Child>> players_;
};

}  // namespace sonavista::testing
