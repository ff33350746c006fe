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

// Polls `done` every 20 ms until it holds or `timeout` has passed; whether it held.
template <typename Predicate>
bool eventually(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

enum class SoundServer { pulseAudio, pipeWire };

// A private sound server for one test, reached through the PulseAudio protocol, with its own
// directories and a null sink "out" as the default output. PipeWire runs as a stack: a session
// bus, pipewire, the WirePlumber session manager (unless left out) and pipewire-pulse. Every
// process is killed when the object goes away.
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
        eventually([&] { return std::filesystem::exists(socketPath_); });
        chmod(socketPath_.c_str(), 0777);
        if (!refuseForeignClients) eventually([&] { return run("pactl info") == 0; }, std::chrono::seconds(10));
    }

    ~PrivatePulseServer() {
        for (auto& service : services_) service->kill(SIGCONT);  // a frozen one ends at once
    }

    std::string server() const { return "unix:" + socketPath_; }
    const std::filesystem::path& dir() const { return dir_.path(); }
    // Where the services keep their sockets (PipeWire's own, pipewire-0, among them).
    std::string runtimeDir() const { return env_.at("XDG_RUNTIME_DIR"); }

    // Points this process's libpulse clients at the server, with no user config.
    void useFromThisProcess() const {
        setenv("PULSE_SERVER", server().c_str(), 1);
        setenv("HOME", dir().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir_ / "client-run").c_str(), 1);
    }

    // Runs a shell command against this server: its exit status, or its output and errors.
    int run(const std::string& command) const { return shell(command).status; }
    std::string output(const std::string& command) const { return shell(command + " 2>&1").out; }

    // Plays a file into `sink` in the background.
    void play(const std::string& file, const std::string& sink = "out") {
        start({"paplay", "--server=" + server(), "--device=" + sink, file});
    }

    // Signals the process clients talk to (pulseaudio or pipewire-pulse); waits for its end.
    void kill(int signal) {
        server_->kill(signal);
        if (signal != SIGSTOP) server_->wait(std::chrono::seconds(5));
    }
    void freezeSessionManager() { sessionManager_->kill(SIGSTOP); }
    // Ends PipeWire and the services on it and starts them again, as a user restarting their
    // sound does (the sink "out" is made again; what else was loaded is gone).
    void restartPipeWire() {
        for (Child* service : {sessionManager_, server_, pipeWire_}) {
            if (service == nullptr) continue;
            service->kill(SIGTERM);
            service->wait(std::chrono::seconds(5));
        }
        startPipeWireServices(sessionManager_ != nullptr);
    }

    // Generates a 48 kHz stereo WAV with sox's synth effect, e.g. "1 sine 440 vol 0.5".
    std::string generate(const std::string& name, const std::string& synth) const {
        const std::string out = (dir_ / (name + ".wav")).string();
        EXPECT_EQ(run("sox -n -r 48000 -c 2 -b 16 " + out + " synth " + synth), 0);
        return out;
    }

private:
    ToolRun shell(const std::string& command) const {
        return runTool({"env", "PULSE_SERVER=" + server(), "HOME=" + dir().string(), "sh", "-c", command});
    }
    Child* start(std::vector<std::string> argv) {  // a service, its standard error in the server's log
        argv.insert(argv.begin(), {"sh", "-c", "exec \"$0\" \"$@\" 2>>" + (dir_ / "server.log").string()});
        services_.push_back(std::make_unique<Child>(argv, Child::noPipes, env_));
        return services_.back().get();
    }

    void startPipeWire(bool sessionManager) {
        const std::string runtime = env_["XDG_RUNTIME_DIR"];
        env_["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + runtime + "/bus";
        start({"dbus-daemon", "--session", "--nofork", "--address=" + env_["DBUS_SESSION_BUS_ADDRESS"]});
        eventually([&] { return std::filesystem::exists(runtime + "/bus"); });
        startPipeWireServices(sessionManager);
    }
    void startPipeWireServices(bool sessionManager) {
        const std::string runtime = env_["XDG_RUNTIME_DIR"];
        pipeWire_ = start({"pipewire"});
        eventually([&] { return std::filesystem::exists(runtime + "/pipewire-0"); });
        if (sessionManager) sessionManager_ = start({"wireplumber"});
        server_ = start({"pipewire-pulse"});
        socketPath_ = runtime + "/pulse/native";
        eventually([&] { return run("pactl info") == 0; }, std::chrono::seconds(10));
        EXPECT_EQ(run("pactl load-module module-null-sink sink_name=out"), 0);
        // The session manager makes the new sink the default output.
        if (sessionManager) eventually([&] { return output("pactl get-default-sink") == "out\n"; });
    }

    TempDir dir_;  // declared first: removed after the processes below have ended
    Env env_;
    std::string socketPath_;
    std::vector<std::unique_ptr<Child>> services_;
    Child* server_ = nullptr;
    Child* sessionManager_ = nullptr;
    Child* pipeWire_ = nullptr;
};

}  // namespace sonavista::testing
