#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace sonavista::test {

// A blocking TCP client for bridge tests, with a receive time-out so a failing test cannot hang.
class BridgeTestClient {
public:
    BridgeTestClient() = default;
    BridgeTestClient(const BridgeTestClient&) = delete;
    BridgeTestClient& operator=(const BridgeTestClient&) = delete;
    ~BridgeTestClient() { close(); }

    bool connect(std::uint16_t port, int family = AF_INET) {
        fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval timeout{5, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        sockaddr_in6 address6{AF_INET6, htons(port), 0, in6addr_loopback, 0};
        const bool v4 = family == AF_INET;
        if (::connect(fd_, v4 ? reinterpret_cast<sockaddr*>(&address) : reinterpret_cast<sockaddr*>(&address6),
                      v4 ? sizeof address : sizeof address6) == 0) {
            return true;
        }
        close();
        return false;
    }

    bool send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    void shutdownWrite() { ::shutdown(fd_, SHUT_WR); }

    // Everything until the peer closes (or a reset, or the 5 s time-out).
    std::string readAll() {
        std::string received;
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) {
                closedCleanly_ = n == 0;
                return received;
            }
            received.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // True when the last readAll ended with an orderly close rather than an error.
    bool closedCleanly() const { return closedCleanly_; }

    // True when nothing at all (no data, no close) arrives within `milliseconds`.
    bool staysQuiet(int milliseconds) {
        pollfd descriptor{fd_, POLLIN, 0};
        return ::poll(&descriptor, 1, milliseconds) == 0;
    }

    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    bool closedCleanly_ = false;
};

// A playback request as the extension sends it, plus `extraHeaders` (each ending in CRLF).
inline std::string playbackPost(const std::string& body, const std::string& extraHeaders = "",
                                   const std::string& path = "/playback", const std::string& method = "POST") {
    return method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Sonavista-Connector: 1\r\n" + extraHeaders +
           "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Sends `bytes` to the loopback port (IPv4 or IPv6) from a child process running as `uid`, and
// returns all it received (glibc's fork leaves the child's allocator usable).
inline std::string exchangeAsUser(std::uint16_t port, int family, uid_t uid, const std::string& bytes) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return "<pipe failed>";
    if (const pid_t child = ::fork(); child == 0) {
        BridgeTestClient client;
        if (::setresuid(uid, uid, uid) != 0 || !client.connect(port, family) || !client.send(bytes)) ::_exit(1);
        const auto received = client.readAll();
        ::_exit(::write(pipeEnds[1], received.data(), received.size()) == static_cast<ssize_t>(received.size()) ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    std::string received;
    char chunk[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0;) received.append(chunk, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ::wait(&status);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? received : "<client failed>";
}

// Polls `condition` until it holds or `seconds` pass (for state that changes on another thread).
inline bool waitUntil(const std::function<bool()>& condition, double seconds = 5.0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace sonavista::test
