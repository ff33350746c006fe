#pragma once

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace sonavista::testing {

// How a program run to its end ended, and what it wrote.
struct ToolRun {
    int status = -1;  // exit status, 128 + signal, or -1 when it outlived its time limit
    std::string out;
    std::string err;
};

// A program started for a test, optionally with pipes to its input and from its output (else
// /dev/null; errors are shared). Ended with SIGTERM, then SIGKILL, when the object goes away.
class Child {
public:
    enum Pipes { noPipes = 0, readOutput = 1, writeInput = 2 };
    using Duration = std::chrono::milliseconds;

    // `env`: the whole environment of the child; this process's own when absent.
    explicit Child(const std::vector<std::string>& argv, int pipes = noPipes,
                   const std::optional<Env>& env = std::nullopt) {
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<std::string> envText;
        for (const auto& [k, v] : env.value_or(Env{})) envText.push_back(k + "=" + v);
        std::vector<char*> envp;
        for (auto& e : envText) envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int in[2] = {-1, -1}, out[2] = {-1, -1};
        if ((pipes & writeInput) && ::pipe2(in, O_CLOEXEC) == 0) {
            posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        } else {
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        }
        if ((pipes & readOutput) && ::pipe2(out, O_CLOEXEC) == 0) {
            posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        }
        const int rc = ::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), env ? envp.data() : environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0) << "cannot start " << argv[0];
        if (rc != 0) pid_ = -1;
        closeFd(in[0]);
        closeFd(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    void kill(int signal) {
        if (pid_ > 0 && !status_) ::kill(pid_, signal);
    }

    // The exit status (or 128 + signal); nothing if still running after `timeout`.
    std::optional<int> wait(Duration timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        int raw = 0;
        while (pid_ > 0 && !status_ && ::waitpid(pid_, &raw, WNOHANG) != pid_) {
            if (left(until).count() == 0) return std::nullopt;
            std::this_thread::sleep_for(Duration(10));
        }
        if (pid_ > 0 && !status_) status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status_;
    }

    // Closes the pipes, asks the child to end and kills it if it has not within a second.
    void stop() {
        closeFd(stdin_);
        closeFd(stdout_);
        kill(SIGTERM);
        if (!wait(std::chrono::seconds(1))) {
            kill(SIGKILL);
            wait(std::chrono::seconds(5));
        }
    }

    void send(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(::write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // The next line of output, nothing once `timeout` has passed or the output has ended.
    std::optional<std::string> readLine(Duration timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (const auto newline = buffer_.find('\n'); newline != std::string::npos) {
                std::string line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                return line;
            }
            pollfd p{stdout_, POLLIN, 0};
            if (stdout_ < 0 || ::poll(&p, 1, static_cast<int>(left(until).count())) <= 0) return std::nullopt;
            char chunk[1024];
            const auto n = ::read(stdout_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Every line read until one is `expected` (the last unless time or output ran out).
    std::vector<std::string> readUntil(const std::string& expected, Duration timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        std::vector<std::string> lines;
        while (auto line = readLine(left(until))) {
            lines.push_back(*line);
            if (*line == expected) break;
        }
        return lines;
    }

private:
    static void closeFd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    static Duration left(std::chrono::steady_clock::time_point until) {
        return std::max(std::chrono::duration_cast<Duration>(until - std::chrono::steady_clock::now()), Duration(0));
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::optional<int> status_;
    std::string buffer_;
};

// Runs a tool to its end, its output and errors collected through files (neither pipe can fill
// up while the other is read); killed, with status -1, if still running after `timeout`.
inline ToolRun runTool(const std::vector<std::string>& argv, const std::optional<Env>& env = std::nullopt,
                       Child::Duration timeout = std::chrono::seconds(60)) {
    const TempDir dir("sonavista-tool");
    const std::string redirect = " >'" + (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
    std::vector<std::string> command = {"/bin/sh", "-c", "exec \"$@\"" + redirect, "sh"};  // sh becomes the tool
    command.insert(command.end(), argv.begin(), argv.end());
    Child child(command, Child::noPipes, env);
    const int status = child.wait(timeout).value_or(-1);
    return {status, readText(dir / "out"), readText(dir / "err")};
}

}  // namespace sonavista::testing
