#pragma once

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <thread>
#include <utility>
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

// A program started for a test, with optional pipes to its standard input and from its
// standard output and error (otherwise input and output are /dev/null and standard error is
// shared). Ended with SIGTERM, then SIGKILL, when the object goes away.
class Child {
public:
    enum Pipes { noPipes = 0, readOutput = 1, writeInput = 2, readErrors = 4 };
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
        int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
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
        if ((pipes & readErrors) && ::pipe2(err, O_CLOEXEC) == 0) posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        const int rc = ::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), env ? envp.data() : environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0) << "cannot start " << argv[0];
        if (rc != 0) pid_ = -1;
        for (int* childEnd : {&in[0], &out[1], &err[1]}) closeFd(*childEnd);
        stdin_ = in[1];
        stdout_ = out[0];
        stderr_ = err[0];
    }
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void kill(int signal) {
        if (pid_ > 0 && !status_) ::kill(pid_, signal);
    }

    // The exit status (or 128 + signal); nothing if still running after `timeout`.
    std::optional<int> wait(Duration timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        int raw = 0;
        while (pid_ > 0 && !status_) {
            if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            } else if (left(until).count() == 0) {
                break;
            } else {
                std::this_thread::sleep_for(Duration(10));
            }
        }
        return status_;
    }

    // Closes the pipes, asks the child to end and kills it if it has not within a second.
    void stop() {
        for (int* fd : {&stdin_, &stdout_, &stderr_}) closeFd(*fd);
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
            if (const auto newline = out_.find('\n'); newline != std::string::npos) {
                std::string line = out_.substr(0, newline);
                out_.erase(0, newline + 1);
                return line;
            }
            if (stdout_ < 0 || !pump(left(until))) return std::nullopt;
        }
    }

    // Reads lines until one is `expected`; returns every line read (the last one is the match
    // unless time ran out or the output ended).
    std::vector<std::string> readUntil(const std::string& expected, Duration timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        std::vector<std::string> lines;
        while (auto line = readLine(left(until))) {
            lines.push_back(*line);
            if (*line == expected) break;
        }
        return lines;
    }

    // Reads the piped output and errors until both end or `timeout` passes, then waits out the
    // rest of it for the exit. Output that readLine has already returned is not repeated.
    ToolRun finish(Duration timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while ((stdout_ >= 0 || stderr_ >= 0) && left(until).count() > 0) pump(left(until));
        return {wait(left(until)).value_or(-1), std::exchange(out_, {}), std::exchange(err_, {})};
    }

private:
    static void closeFd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    static Duration left(std::chrono::steady_clock::time_point until) {
        return std::max(std::chrono::duration_cast<Duration>(until - std::chrono::steady_clock::now()), Duration(0));
    }

    // Waits up to `timeout` for the output or error pipe, appends what one has to its buffer
    // and closes a pipe that has ended. False when nothing came in time.
    bool pump(Duration timeout) {
        pollfd fds[2] = {{stdout_, POLLIN, 0}, {stderr_, POLLIN, 0}};  // poll skips a closed (-1) one
        if (::poll(fds, 2, static_cast<int>(timeout.count())) <= 0) return false;
        int* const pipes[2] = {&stdout_, &stderr_};
        std::string* const texts[2] = {&out_, &err_};
        for (int i = 0; i < 2; ++i) {
            if (*pipes[i] < 0 || fds[i].revents == 0) continue;
            char chunk[4096];
            const auto n = ::read(*pipes[i], chunk, sizeof chunk);
            if (n > 0) {
                texts[i]->append(chunk, static_cast<std::size_t>(n));
            } else {
                closeFd(*pipes[i]);
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    std::optional<int> status_;
    std::string out_;
    std::string err_;
};

// Runs a program to its end (at most ten seconds) and gives its exit status, -1 on time-out.
inline int runProgram(const std::vector<std::string>& argv, const std::optional<Env>& env = std::nullopt) {
    Child child(argv, Child::noPipes, env);
    return child.wait(std::chrono::seconds(10)).value_or(-1);
}

// Runs a built tool to its end with its output and errors collected; killed, with status -1,
// if it is still running after `timeout`.
inline ToolRun runTool(const std::vector<std::string>& argv, const std::optional<Env>& env = std::nullopt,
                       std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    Child child(argv, Child::readOutput | Child::readErrors, env);
    return child.finish(timeout);
}

}  // namespace sonavista::testing
