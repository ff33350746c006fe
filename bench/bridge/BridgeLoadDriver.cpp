// Load driver for the browser bridge.
//
//   bridge_load serve [seconds] [port] [linger]
//                                        runs a bridge (port 0 = any free port, printed as
//                                        "port N") while another thread takes a snapshot every
//                                        5 ms for `seconds`, prints the latency percentiles, and
//                                        serves `linger` seconds more (default 2).
//   bridge_load idle [connections]       opens that many idle connections at once, checks that
//                                        reports from another client are still answered, and
//                                        follows the memory until the idle time-out has passed.
//   bridge_load pages [seconds] [idBytes] floods the bridge, one connection after another, with
//                                        reports that each name a new page with an id of
//                                        `idBytes` bytes (default 60000) for `seconds` (default
//                                        3, within a page's lifetime), and prints the memory and
//                                        the time per report at the start and at the end.
#include "bridge/BrowserPlaybackBridge.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace sonavista;
using Steady = std::chrono::steady_clock;

namespace {

const MusicPlayerSet allWeb = {MusicPlayer::spotifyWeb, MusicPlayer::youtube, MusicPlayer::qqMusicWeb};

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

int connectTo(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends one valid report on a fresh connection; true when the answer is "204 No Content".
bool reportAnswered(std::uint16_t port, const std::string& pageId = "probe") {
    const std::string body = R"({"source":"youtube","pageId":")" + pageId + R"(","playing":true,"volume":0.5})";
    const std::string request = "POST /playback HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Sonavista-Connector: 1\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    const int fd = connectTo(port);
    if (fd < 0) return false;
    std::string answer;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char chunk[512];
        for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;) answer.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer.rfind("HTTP/1.1 204 No Content\r\n", 0) == 0;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

// A bridge with the application's limits on a free port, warmed up by one answered report so
// that a memory baseline taken next includes what serving costs anyway; null if it cannot listen.
std::shared_ptr<BrowserPlaybackBridge> startWarmBridge() {
    BrowserPlaybackBridge::Options options;
    options.port = 0;
    auto bridge = std::make_shared<BrowserPlaybackBridge>(options);
    bridge->start();
    if (bridge->listeningPort() == 0) return nullptr;
    reportAnswered(bridge->listeningPort());
    return bridge;
}

int serve(double seconds, std::uint16_t port, double linger) {
    BrowserPlaybackBridge::Options options;
    options.port = port;
    auto bridge = std::make_shared<BrowserPlaybackBridge>(options);
    bridge->start();
    const auto bound = bridge->listeningPort();
    if (bound == 0) {
        std::fprintf(stderr, "could not listen on port %u\n", port);
        return 1;
    }
    std::printf("port %u\n", bound);
    std::fflush(stdout);

    // Every 5 ms: the snapshot the monitor takes, then a bare round trip through the bridge
    // thread's queue for comparison (what a snapshot would cost if it had to wait its turn there).
    std::vector<double> snapshots, hops;  // milliseconds
    std::size_t seen = 0;
    const auto end = Steady::now() + std::chrono::duration<double>(seconds);
    while (Steady::now() < end) {
        auto before = Steady::now();
        if (bridge->snapshotSync(allWeb)) ++seen;
        snapshots.push_back(std::chrono::duration<double, std::milli>(Steady::now() - before).count());
        before = Steady::now();
        bridge->sync([] {});
        hops.push_back(std::chrono::duration<double, std::milli>(Steady::now() - before).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto summary = [](const char* name, const std::vector<double>& values) {
        std::printf("%s: %zu calls, p50 %.3f ms, p99 %.3f ms, max %.3f ms\n", name, values.size(),
                    percentile(values, 0.5), percentile(values, 0.99), *std::max_element(values.begin(), values.end()));
    };
    summary("snapshotSync", snapshots);
    std::printf("  (%zu of them saw a live page)\n", seen);
    summary("queue round trip (sync)", hops);
    // Keep answering while the load generator winds down.
    std::this_thread::sleep_for(std::chrono::duration<double>(linger));
    return 0;
}

int idle(std::size_t count) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

    const auto bridge = startWarmBridge();
    if (!bridge) return 1;
    const auto port = bridge->listeningPort();
    const long baseline = residentKiB();

    // Three rounds: memory that is only held by the allocator levels off; a leak would grow.
    for (int round = 1; round <= 3; ++round) {
        std::vector<int> clients;
        for (std::size_t i = 0; i < count; ++i) {
            const int fd = connectTo(port);
            if (fd >= 0) clients.push_back(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const long loaded = residentKiB();
        const auto openUnderLoad = bridge->openConnectionCount();
        int answered = 0;
        const int probes = 20;
        for (int i = 0; i < probes; ++i) answered += reportAnswered(port) ? 1 : 0;

        const auto start = Steady::now();
        while (bridge->openConnectionCount() > 0 && Steady::now() - start < std::chrono::seconds(15)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const double drained = std::chrono::duration<double>(Steady::now() - start).count();
        for (const int fd : clients) ::close(fd);
        const long after = residentKiB();
        malloc_trim(0);
        std::printf("round %d: %zu idle connections opened, bridge holds %zu, %d/%d reports from another client "
                    "answered; RSS baseline %ld KiB, loaded %ld KiB, %.1f s later all closed: %ld KiB "
                    "(%ld KiB after malloc_trim)\n",
                    round, clients.size(), openUnderLoad, answered, probes, baseline, loaded, drained, after,
                    residentKiB());
        std::fflush(stdout);
    }
    return 0;
}

int pages(double seconds, std::size_t idBytes) {
    const auto bridge = startWarmBridge();
    if (!bridge) return 1;
    const auto port = bridge->listeningPort();
    const long baseline = residentKiB();
    std::string pageId(idBytes, 'x');
    std::size_t sent = 0, answered = 0;
    std::vector<double> perReport;  // milliseconds
    const auto end = Steady::now() + std::chrono::duration<double>(seconds);
    while (Steady::now() < end) {
        // A distinct id each time: the counter overwrites the id's first characters.
        const auto number = std::to_string(sent++);
        pageId.replace(0, number.size(), number);
        const auto before = Steady::now();
        answered += reportAnswered(port, pageId) ? 1 : 0;
        perReport.push_back(std::chrono::duration<double, std::milli>(Steady::now() - before).count());
    }
    const long flooded = residentKiB();
    const std::size_t tenth = std::max<std::size_t>(perReport.size() / 10, 1);
    const auto meanOf = [](auto first, auto last) {
        double sum = 0;
        for (auto it = first; it != last; ++it) sum += *it;
        return last == first ? 0.0 : sum / static_cast<double>(last - first);
    };
    std::printf("%zu reports with %zu-byte page ids in %.1f s, %zu answered 204, table holds %zu pages; "
                "RSS baseline %ld KiB, after the flood %ld KiB; mean time per report: first tenth %.3f ms, "
                "last tenth %.3f ms\n",
                sent, idBytes, seconds, answered, bridge->sessions().size(), baseline, flooded,
                meanOf(perReport.begin(), perReport.begin() + static_cast<long>(tenth)),
                meanOf(perReport.end() - static_cast<long>(tenth), perReport.end()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "serve") {
        return serve(argc > 2 ? std::atof(argv[2]) : 10.0,
                     static_cast<std::uint16_t>(argc > 3 ? std::atoi(argv[3]) : 0), argc > 4 ? std::atof(argv[4]) : 2.0);
    }
    if (mode == "idle") return idle(argc > 2 ? static_cast<std::size_t>(std::atol(argv[2])) : 1000);
    if (mode == "pages") {
        return pages(argc > 2 ? std::atof(argv[2]) : 3.0, argc > 3 ? static_cast<std::size_t>(std::atol(argv[3])) : 60000);
    }
    std::fprintf(stderr, "usage: bridge_load serve [seconds] [port] [linger] | idle [connections] | "
                         "pages [seconds] [idBytes]\n");
    return 2;
}
