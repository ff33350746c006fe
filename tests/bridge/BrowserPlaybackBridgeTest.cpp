#include "base/FakeClock.h"
#include "bridge/BridgeProtocol.h"
#include "bridge/BrowserPlaybackBridge.h"
#include "bridge/BridgeTestClient.h"
#include "bridge/KernelPeerOwnerLookup.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <string>
#include <vector>

using namespace sonavista;
using sonavista::test::BridgeTestClient;
using sonavista::test::waitUntil;

namespace {

const MusicPlayerSet allWeb = {MusicPlayer::spotifyWeb, MusicPlayer::youtube, MusicPlayer::qqMusicWeb};
const std::string noContent = "HTTP/1.1 204 No Content\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
const std::string badRequest = "HTTP/1.1 400 Bad Request\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";

std::string report(const std::string& pageId, const std::string& source = "youtube", bool playing = true,
                   const std::string& extraHeaders = "") {
    return test::playbackPost(R"({"source":")" + source + R"(","pageId":")" + pageId + R"(","playing":)" +
                                  (playing ? "true" : "false") + R"(,"volume":0.25})",
                              extraHeaders);
}

// A bridge on the test's virtual clock, listening on a free port.
class BrowserPlaybackBridgeTest : public ::testing::Test {
protected:
    void start(BrowserPlaybackBridge::Options options = {}) {
        options.port = 0;
        options.clock = clock;
        bridge = std::make_shared<BrowserPlaybackBridge>(options);
        bridge->start();
        port = bridge->listeningPort();
        ASSERT_NE(port, 0);
    }
    // Sends `bytes` on a fresh connection to `port` and returns everything the bridge answers.
    std::string exchange(const std::string& bytes) {
        BridgeTestClient client;
        if (!client.connect(port)) return "<connect failed>";
        client.send(bytes);
        return client.readAll();
    }

    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>(1000.0);
    std::shared_ptr<BrowserPlaybackBridge> bridge;
    std::uint16_t port = 0;
};

}  // namespace

TEST_F(BrowserPlaybackBridgeTest, StoresReportsAndAnswersSnapshots) {
    start();
    // The answer is the protocol's, CORS lines included (their bytes are pinned there).
    EXPECT_EQ(exchange(report("tab-1", "youtube", true, "Origin: chrome-extension://x\r\n")),
              BridgeProtocol::responseText(BridgeProtocol::noContent, "chrome-extension://x"));
    EXPECT_EQ(bridge->snapshotSync(allWeb),
              (MusicPlaybackSnapshot{MusicPlayer::youtube, MusicPlaybackState::playing, 0.25}));

    // A stale published copy expires the table's sessions too.
    clock->advance(3.6);
    EXPECT_EQ(bridge->snapshotSync(allWeb), std::nullopt);
    EXPECT_TRUE(bridge->sessions().empty());
    EXPECT_TRUE(waitUntil([&] { return bridge->openConnectionCount() == 0; }));
}

TEST_F(BrowserPlaybackBridgeTest, RemembersWhenAnExtensionLastReported) {
    start();
    // Only a stored report that came from an extension counts as one.
    for (const auto& [what, request] :
         {std::pair<const char*, std::string>{"a command-line client", report("cli")},
          {"an empty origin", report("empty", "youtube", true, "Origin: \r\n")},
          {"a refused source", report("bad", "spotify", true, "Origin: chrome-extension://x\r\n")},
          {"a preflight", "OPTIONS /playback HTTP/1.1\r\nOrigin: chrome-extension://x\r\n\r\n"}}) {
        exchange(request);
        EXPECT_EQ(bridge->secondsSinceExtensionReport(), std::nullopt) << what;
    }
    exchange(report("tab", "youtube", false, "Origin: moz-extension://y\r\n"));
    clock->advance(7);
    EXPECT_EQ(bridge->secondsSinceExtensionReport(), std::optional<double>(7.0));
}

TEST_F(BrowserPlaybackBridgeTest, StartTwiceListensOnceAndOnlyOnLoopback) {
    start();
    bridge->start();
    const auto addresses = bridge->listeningAddresses();
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), "127.0.0.1"), 1);
    for (const auto& address : addresses) EXPECT_TRUE(address == "127.0.0.1" || address == "::1") << address;
    // Programs the application starts must not inherit a listener (they would keep the port).
    int sockets = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        if (std::filesystem::read_symlink(entry.path()).string().rfind("socket:", 0) != 0) continue;
        ++sockets;
        EXPECT_TRUE(::fcntl(std::stoi(entry.path().filename().string()), F_GETFD) & FD_CLOEXEC) << entry.path();
    }
    EXPECT_GE(sockets, 1);
}

TEST_F(BrowserPlaybackBridgeTest, StopForgetsSessionsAndStartListensAgain) {
    start();
    ASSERT_EQ(exchange(report("a")), noContent);
    bridge->stop();
    EXPECT_EQ(bridge->snapshotSync(allWeb), std::nullopt) << "forgotten at once for readers";
    EXPECT_TRUE(bridge->sessions().empty());
    BridgeTestClient refused;
    EXPECT_FALSE(refused.connect(port));

    bridge->start();
    port = bridge->listeningPort();
    EXPECT_EQ(exchange(report("b")), noContent);
    EXPECT_NE(bridge->snapshotSync(allWeb), std::nullopt) << "published again after the restart";
}

TEST_F(BrowserPlaybackBridgeTest, PortHeldElsewhereIsSaidOnce) {
    start();
    ::testing::internal::CaptureStderr();
    BrowserPlaybackBridge second({.port = port, .clock = clock});
    for (int attempt = 0; attempt < 2; ++attempt) {
        second.start();
        EXPECT_EQ(second.listeningPort(), 0);
        EXPECT_EQ(second.portHeldElsewhere(), port);
        second.stop();
    }
    const auto said = ::testing::internal::GetCapturedStderr();
    const auto line = "port " + std::to_string(port) + " on 127.0.0.1 is held by another program or user";
    EXPECT_NE(said.find(line), std::string::npos) << said;
    EXPECT_EQ(said.find(line), said.rfind(line)) << said;
    EXPECT_EQ(bridge->portHeldElsewhere(), std::nullopt);
}

// A peer whose owner the system cannot tell is refused like another user's (the kernel's
// answers are tested below).
TEST_F(BrowserPlaybackBridgeTest, RefusesAPeerOfUnknownOwner) {
    struct NoAnswer final : PeerOwnerLookup {
        std::optional<std::uint32_t> ownerOf(const asio::ip::tcp::endpoint&, const asio::ip::tcp::endpoint&) override {
            return std::nullopt;
        }
    };
    start({.clock = clock, .peerOwners = std::make_shared<NoAnswer>()});
    EXPECT_EQ(exchange(report("page")), "");
    EXPECT_TRUE(bridge->sessions().empty());
}

// The kernel tells the users apart, asked either way, over IPv4 and IPv6: a client run as
// another user is refused, one run as this user is served.
TEST_F(BrowserPlaybackBridgeTest, TellsAnotherUsersClientFromTheKernel) {
    if (::geteuid() != 0) GTEST_SKIP() << "running a client as another user needs root";
    using Method = KernelPeerOwnerLookup::Method;
    for (const auto method : {Method::socketDiagnostics, Method::procTables}) {
        start({.clock = clock, .peerOwners = std::make_shared<KernelPeerOwnerLookup>(method)});
        const bool v6 = bridge->listeningAddresses().size() == 2;
        for (const auto& [family, uid] : {std::pair{AF_INET, 0u}, {AF_INET, 65534u}, {AF_INET6, 0u}, {AF_INET6, 65534u}}) {
            if (family == AF_INET6 && !v6) continue;
            const auto page = std::to_string(static_cast<int>(method)) + "/" + std::to_string(family) + "/" + std::to_string(uid);
            EXPECT_EQ(test::exchangeAsUser(port, family, uid, report(page)), uid == 0 ? noContent : "") << page;
            EXPECT_EQ(bridge->sessions().count(page), uid == 0 ? 1u : 0u) << page;
        }
    }
}

// Cut inside the blank line and one byte short of the body, each piece read on its own: no
// answer until the request is whole, and bytes beyond it are ignored.
TEST_F(BrowserPlaybackBridgeTest, ParsesRequestsArrivingInPieces) {
    start();
    BridgeTestClient client;
    ASSERT_TRUE(client.connect(port));
    const std::string request = report("pieces");
    const auto blank = request.find("\r\n\r\n");
    for (const auto& piece : {request.substr(0, blank + 3), request.substr(blank + 3, request.size() - blank - 4)}) {
        ASSERT_TRUE(client.send(piece));
        EXPECT_TRUE(client.staysQuiet(30)) << "answered before the request was whole";
    }
    client.send(request.substr(request.size() - 1) + "trailing bytes beyond the body");
    EXPECT_EQ(client.readAll(), noContent);
    EXPECT_EQ(bridge->sessions().count("pieces"), 1u);
}

TEST_F(BrowserPlaybackBridgeTest, RefusesIncompleteRequests) {
    start({.incompleteRequestTimeout = 0.3, .clock = clock});
    const std::string partial = "POST /playback HTTP/1.1\r\nOrigin: chrome-extension://x\r\nContent-Length: 10\r\n\r\n";
    // Silent, half-sent, and half-sent with the sending side closed: refused without CORS
    // lines, then closed in order.
    BridgeTestClient clients[3];
    for (auto& client : clients) ASSERT_TRUE(client.connect(port));
    clients[1].send(partial);
    clients[2].send(partial);
    clients[2].shutdownWrite();
    for (auto& client : clients) {
        EXPECT_EQ(client.readAll(), badRequest);
        EXPECT_TRUE(client.closedCleanly());
    }
    EXPECT_TRUE(waitUntil([&] { return bridge->openConnectionCount() == 0; }));
}

// Refused once it exceeds a request's size, or once its header block cannot make a request,
// long before the (default) time-out and the client's own 5 s; the answer survives the bytes
// the bridge never read.
TEST_F(BrowserPlaybackBridgeTest, RefusesAFloodOrAMalformedHeadAtOnce) {
    start();
    for (const auto& bytes : {std::string(std::size_t{1} << 20, 'a'),
                              std::string("POST /playback HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 6l\r\n\r\n{}")}) {
        BridgeTestClient client;
        ASSERT_TRUE(client.connect(port));
        std::thread writer([&] { client.send(bytes); });
        EXPECT_EQ(client.readAll(), badRequest) << bytes.substr(0, 40);
        EXPECT_TRUE(client.closedCleanly()) << "reset instead of an orderly close";
        writer.join();
    }
}

TEST_F(BrowserPlaybackBridgeTest, LimitsOpenConnectionsByClosingTheStalest) {
    start({.maxConnections = 3, .clock = clock});
    // One at a time, so that they queue in order; the fourth closes the first.
    std::vector<BridgeTestClient> idle(4);
    for (std::size_t i = 0; i < idle.size(); ++i) {
        ASSERT_TRUE(idle[i].connect(port));
        ASSERT_TRUE(waitUntil([&] { return bridge->openConnectionCount() == std::min<std::size_t>(i + 1, 3); }));
    }
    EXPECT_EQ(idle[0].readAll(), "") << "the stalest connection is closed without an answer";
    EXPECT_TRUE(idle[0].closedCleanly());
}

TEST_F(BrowserPlaybackBridgeTest, ReleasingTheBridgeClosesItsConnections) {
    start();
    BridgeTestClient client;
    ASSERT_TRUE(client.connect(port));
    client.send("POST /playback HTTP/1.1\r\n");
    ASSERT_TRUE(waitUntil([&] { return bridge->openConnectionCount() == 1; }));
    bridge.reset();
    client.readAll();
    EXPECT_TRUE(client.closedCleanly()) << "not closed within the client's 5 s";
}

TEST_F(BrowserPlaybackBridgeTest, SnapshotsFromOtherThreadsSeeEveryAnsweredReport) {
    start();
    std::atomic<bool> answered{false}, done{false};
    std::atomic<int> readsWithoutPage{0};
    // Once a report has been answered, its page must be visible to a reader on another thread.
    std::thread reader([&] {
        while (!done) readsWithoutPage += answered && !bridge->snapshotSync(allWeb);
    });
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(exchange(report("page-" + std::to_string(i % 5), i % 2 ? "youtube" : "spotifyWeb")), noContent);
        answered = true;
    }
    done = true;
    reader.join();
    EXPECT_EQ(readsWithoutPage.load(), 0);
}
