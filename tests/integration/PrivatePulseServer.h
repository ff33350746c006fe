#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace sonavista::testing {

// A private PulseAudio server for one test: its own runtime, home and config directories
// under a temporary directory, a null sink "out" and a native socket at `socketPath()`.
// Never touches a sound server of the user's session. Killed when the object goes away.
class PrivatePulseServer {
public:
    explicit PrivatePulseServer(bool refuseForeignClients = false) {
        std::string pattern = (std::filesystem::temp_directory_path() / "sonavista-pulse-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        // Reachable by the unprivileged client of the access test; the runtime dir stays private.
        chmod(dir_.c_str(), 0755);
        std::filesystem::create_directories(dir_ / "run");
        std::filesystem::permissions(dir_ / "run", std::filesystem::perms::owner_all);
        const std::string auth = refuseForeignClients
                                     ? "auth-anonymous=0 auth-cookie-enabled=1 auth-group-enable=0"
                                     : "auth-anonymous=1";
        pid_ = spawn({"pulseaudio", "--daemonize=no", "--system=no", "--exit-idle-time=-1", "-n",
                      "--use-pid-file=no", "--log-target=file:" + (dir_ / "server.log").string(),
                      "--load=module-null-sink sink_name=out",
                      "--load=module-native-protocol-unix socket=" + socketPath() + " " + auth},
                     /*quiet=*/true);
        for (int i = 0; i < 200 && !std::filesystem::exists(socketPath()); ++i) sleepSeconds(0.02);
        chmod(socketPath().c_str(), 0777);
        // Ready once it answers.
        for (int i = 0; i < 100 && !refuseForeignClients && run("pactl info") != 0; ++i) sleepSeconds(0.05);
    }

    ~PrivatePulseServer() {
        kill(SIGKILL);
        for (pid_t player : players_) {
            ::kill(player, SIGKILL);
            waitpid(player, nullptr, 0);
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    PrivatePulseServer(const PrivatePulseServer&) = delete;
    PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

    std::string socketPath() const { return (dir_ / "native").string(); }
    std::string server() const { return "unix:" + socketPath(); }
    const std::filesystem::path& dir() const { return dir_; }

    // Points this process's libpulse clients at the server, with no user config.
    void useFromThisProcess() const {
        setenv("PULSE_SERVER", server().c_str(), 1);
        setenv("HOME", dir_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir_ / "client-run").c_str(), 1);
    }

    // Runs a shell command against this server; returns its exit status.
    int run(const std::string& command) const {
        return std::system(("PULSE_SERVER=" + server() + " HOME=" + dir_.string() + " " + command + " >/dev/null 2>&1").c_str());
    }
    std::string output(const std::string& command) const {
        const std::string file = (dir_ / "output.txt").string();
        if (std::system(("PULSE_SERVER=" + server() + " HOME=" + dir_.string() + " " + command + " >" + file + " 2>&1").c_str())) {
        }
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Plays a file into `sink` in the background.
    void play(const std::string& file, const std::string& sink = "out") {
        players_.push_back(spawn({"paplay", "--device=" + sink, file}, true, {"PULSE_SERVER=" + server()}));
    }

    void kill(int signal) {
        if (pid_ <= 0) return;
        ::kill(pid_, signal);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
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
    pid_t spawn(const std::vector<std::string>& args, bool quiet, const std::vector<std::string>& extraEnv = {}) {
        std::vector<std::string> env = {"HOME=" + dir_.string(), "XDG_RUNTIME_DIR=" + (dir_ / "run").string(),
                                        "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
                                        "PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")};
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> argv, envp;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (quiet) {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        }
        pid_t pid = -1;
        const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(error, 0) << "cannot start " << args[0];
        return pid;
    }

    std::filesystem::path dir_;
    pid_t pid_ = -1;
    std::vector<pid_t> players_;
};

}  // namespace sonavista::testing
