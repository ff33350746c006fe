#pragma once

#include "support/Child.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

namespace sonavista::testing {

enum class SoundServer { pulseAudio, pipeWire };

// A private sound server for one test, reached through the PulseAudio protocol: its own
// runtime, home and config directories under a temporary directory, a null sink "out" as
// the default output. PipeWire runs as a stack: a session bus, pipewire, the WirePlumber
// session manager (unless left out) and pipewire-pulse. Never touches a sound server of
// the user's session; every process is killed when the object goes away.
class PrivatePulseServer {
public:
    explicit PrivatePulseServer(SoundServer kind = SoundServer::pulseAudio, bool refuseForeignClients = false,
                                bool sessionManager = true)
        : dir_("sonavista-pulse") {
        // Reachable by the unprivileged client of the access test; the runtime dir stays private.
        chmod(dir().c_str(), 0755);
        env_ = dir_.isolatedEnv();
        if (kind == SoundServer::pipeWire) {
            startPipeWire(sessionManager);
            return;
        }
        socketPath_ = (dir_ / "native").string();
        const std::string auth = refuseForeignClients
                                     ? "auth-anonymous=0 auth-cookie-enabled=1 auth-group-enable=0"
                                     : "auth-anonymous=1";
        server_ = start({"pulseaudio", "--daemonize=no", "--system=no", "--exit-idle-time=-1", "-n",
                         "--use-pid-file=no", "--log-target=file:" + (dir_ / "server.log").string(),
                         "--load=module-null-sink sink_name=out",
                         "--load=module-native-protocol-unix socket=" + socketPath_ + " " + auth});
        waitFor(socketPath_);
        chmod(socketPath_.c_str(), 0777);
        // Ready once it answers.
        for (int i = 0; i < 100 && !refuseForeignClients && run("pactl info") != 0; ++i) sleepSeconds(0.05);
    }

    ~PrivatePulseServer() {
        for (auto& service : services_) service->kill(SIGCONT);  // a frozen one ends at once
    }

    const std::string& socketPath() const { return socketPath_; }
    std::string server() const { return "unix:" + socketPath(); }
    const std::filesystem::path& dir() const { return dir_.path(); }

    // Points this process's libpulse clients at the server, with no user config.
    void useFromThisProcess() const {
        setenv("PULSE_SERVER", server().c_str(), 1);
        setenv("HOME", dir().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir_ / "client-run").c_str(), 1);
    }

    // Runs a shell command against this server; returns its exit status, or its standard
    // output and error.
    int run(const std::string& command) const { return shell(command).status; }
    std::string output(const std::string& command) const { return shell(command + " 2>&1").out; }

    // Plays a file into `sink` in the background.
    void play(const std::string& file, const std::string& sink = "out") {
        Env env = env_;
        env["PULSE_SERVER"] = server();
        players_.push_back(std::make_unique<Child>(std::vector<std::string>{"paplay", "--device=" + sink, file},
                                                   Child::noPipes, env));
    }

    // Signals the process that clients talk to (pulseaudio or pipewire-pulse) and waits for
    // it to end, unless the signal only freezes or thaws it.
    void kill(int signal) {
        server_->kill(signal);
        if (signal != SIGSTOP && signal != SIGCONT) server_->wait(std::chrono::seconds(5));
    }
    void freezeSessionManager() { sessionManager_->kill(SIGSTOP); }

    static void sleepSeconds(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

    // Generates a 48 kHz stereo WAV with sox from consecutive parts, each given as the
    // arguments of sox's synth effect, e.g. "1 sine 440 vol 0.5".
    std::string generate(const std::string& name, const std::vector<std::string>& parts) const {
        const std::string out = (dir_ / (name + ".wav")).string();
        std::string command = "sox -n -r 48000 -c 2 -b 16 " + out;
        for (const auto& part : parts) command += (&part == &parts.front() ? " synth " : " : synth ") + part;
        EXPECT_EQ(shell(command).status, 0);
        return out;
    }

private:
    ToolRun shell(const std::string& command) const {
        return runTool({"env", "PULSE_SERVER=" + server(), "HOME=" + dir().string(), "sh", "-c", command});
    }
    // A service with its standard error in the server's log.
    Child* start(const std::vector<std::string>& argv) {
        std::string command = "exec";
        for (const auto& arg : argv) command += " '" + arg + "'";
        services_.push_back(std::make_unique<Child>(
            std::vector<std::string>{"sh", "-c", command + " 2>>" + (dir_ / "server.log").string()}, Child::noPipes,
            env_));
        return services_.back().get();
    }
    static void waitFor(const std::filesystem::path& socket) {
        for (int i = 0; i < 250 && !std::filesystem::exists(socket); ++i) sleepSeconds(0.02);
    }

    void startPipeWire(bool sessionManager) {
        const std::string run = env_["XDG_RUNTIME_DIR"];
        env_["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + run + "/bus";
        start({"dbus-daemon", "--session", "--nofork", "--address=" + env_["DBUS_SESSION_BUS_ADDRESS"]});
        waitFor(run + "/bus");
        start({"pipewire"});
        waitFor(run + "/pipewire-0");
        if (sessionManager) sessionManager_ = start({"wireplumber"});
        server_ = start({"pipewire-pulse"});
        socketPath_ = run + "/pulse/native";
        waitFor(socketPath_);
        for (int i = 0; i < 100 && this->run("pactl info") != 0; ++i) sleepSeconds(0.05);
        EXPECT_EQ(this->run("pactl load-module module-null-sink sink_name=out"), 0);
        // The session manager makes the new sink the default output.
        for (int i = 0; i < 100 && sessionManager && output("pactl get-default-sink") != "out\n"; ++i) sleepSeconds(0.05);
    }

    TempDir dir_;  // declared first: removed after the processes below have ended
    Env env_;
    std::string socketPath_;
    std::vector<std::unique_ptr<Child>> services_;
    Child* server_ = nullptr;
    Child* sessionManager_ = nullptr;
    std::vector<std::unique_ptr<Child>> players_;
};

}  // namespace sonavista::testing
