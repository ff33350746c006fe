#pragma once

#include "base/Clock.h"
#include "bridge/BridgeConnection.h"
#include "bridge/BridgeControl.h"
#include "bridge/BridgeResponse.h"
#include "bridge/BrowserSessionTable.h"
#include "bridge/HTTPRequest.h"
#include "bridge/PeerOwnerLookup.h"
#include "playback/BrowserPlaybackSource.h"
#include "playback/MusicPlaybackSnapshot.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace sonavista {

// The local HTTP endpoint through which browser extensions report web playback. One thread
// (the bridge queue) owns the listeners, every connection and the session table; other
// threads reach them only through `start`, `stop` (asynchronous) and `sync` (blocking).
//
// Listens on the loopback addresses only (127.0.0.1, and ::1 where the system has IPv6), so
// other hosts cannot inject reports. A connection that has not delivered a complete request
// within `incompleteRequestTimeout` gets "400 Bad Request" and is closed, and at most
// `maxConnections` connections are open at once: accepting one more closes the connection
// that has waited longest for its request, so idle connections cannot lock out real reports.
//
// Only the user who runs the bridge may report: a connection whose peer socket belongs to
// another user (another login session on the same machine), or whose owner the system cannot
// tell, is closed at once without an answer, before anything is read from it.
class BrowserPlaybackBridge final : public BrowserPlaybackSource, public BridgeControl {
public:
    static constexpr std::uint16_t applicationPort = 43828;
    // A connection that buffers this many bytes without a complete request is refused.
    static constexpr std::size_t maximumRequestBytes = 65536;

    struct Options {
        // 0 picks a free port (tests); read it back with `listeningPort()`.
        std::uint16_t port = applicationPort;
        double incompleteRequestTimeout = 10.0;
        std::size_t maxConnections = 256;
        // After a refusal sent before the request was read in full, how long the bridge keeps
        // reading and discarding so that the peer receives the response rather than a reset.
        double drainTimeout = 1.0;
        double sessionLifetime = BrowserSessionTable::defaultSessionLifetime;
        // Stamps the sessions; the steady clock when absent.
        std::shared_ptr<const Clock> clock;
        // Who owns each peer; the kernel's socket tables when absent.
        std::shared_ptr<PeerOwnerLookup> peerOwners = nullptr;
        // The only user whose connections are served; the effective user of this process when
        // absent.
        std::optional<std::uint32_t> ownUser = std::nullopt;
    };

    BrowserPlaybackBridge();
    explicit BrowserPlaybackBridge(Options options);
    // Closes every listener and connection and joins the bridge thread. Must not run on the
    // bridge thread itself (that is, not from inside `sync`).
    ~BrowserPlaybackBridge() override;
    BrowserPlaybackBridge(const BrowserPlaybackBridge&) = delete;
    BrowserPlaybackBridge& operator=(const BrowserPlaybackBridge&) = delete;

    // Returns at once; on the bridge thread, starts listening unless already listening. A port
    // that cannot be bound leaves the bridge silent, without retrying; a port held by another
    // program or user is said once on standard error.
    void start() override;
    // Returns at once; on the bridge thread, closes the listeners and forgets every session.
    // Connections already accepted still get their answer.
    void stop() override;

    // Runs `task` on the bridge thread and waits for it; runs it inline on the bridge thread.
    void sync(const std::function<void()>& task);

    // The best live browser page among `enabled`. Safe from any thread and never waits for
    // the bridge thread: it reads the summary of the sessions (the newest of each player and
    // playing state, a few entries) that the bridge thread publishes before answering each report
    // (and empties at `stop()`), so every report already answered counts, and a client flooding
    // the bridge cannot stall the caller.
    std::optional<MusicPlaybackSnapshot> snapshotSync(const MusicPlayerSet& enabled);
    std::optional<MusicPlaybackSnapshot> snapshot(const std::set<MusicPlayer>& enabled) override {
        return snapshotSync(enabled);
    }

    // Seconds since the bridge last stored a report sent by a browser extension (one that came
    // with an extension's Origin); nothing when none has arrived. Safe from any thread.
    std::optional<double> secondsSinceExtensionReport();

    // The port the bridge could not listen on because another program or user holds it (so that
    // one, not ours, receives this user's browser reports); nothing while listening or stopped for
    // another reason. Safe from any thread.
    std::optional<std::uint16_t> portHeldElsewhere() const;

    // Diagnostics, each read on the bridge thread.
    // The bound port, 0 while not listening.
    std::uint16_t listeningPort();
    // The bound local addresses ("127.0.0.1", "::1").
    std::vector<std::string> listeningAddresses();
    std::size_t openConnectionCount();
    std::map<std::string, BrowserSession> sessions();

private:
    using Connection = std::shared_ptr<BridgeConnection>;
    using Acceptor = std::shared_ptr<asio::ip::tcp::acceptor>;

    void startListening();
    void stopListening();
    void accept(const Acceptor& acceptor);
    void adopt(asio::ip::tcp::socket socket);
    void awaitData(const Connection& connection);
    void receive(const Connection& connection);
    void process(const HTTPRequest& request, const Connection& connection);
    void respond(const BridgeResponse& response, const Connection& connection, bool drainAfterwards);
    void responseSent(const Connection& connection, const asio::error_code& error, bool drainAfterwards);
    void drain(const Connection& connection);
    void close(const Connection& connection);

    Options options_;
    // Handlers capture `this`: the destructor stops and joins the thread and destroys the
    // io_context (dropping every pending handler uninvoked) before any other member goes.
    std::unique_ptr<asio::io_context> io_;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::thread thread_;

    using Summary = BrowserSessionTable::LatestSessions;
    void publishSessions();
    bool isOwnUsers(const asio::ip::tcp::socket& socket);

    // The sessions' summary as last published by the bridge thread. The mutex guards only the
    // pointer, the flag and the extension report time; readers work on the immutable summary
    // outside it.
    std::mutex publishedMutex_;
    std::shared_ptr<const Summary> published_ = std::make_shared<const Summary>();
    bool publishing_ = true;  // false between stop() and the next start()
    std::optional<double> lastExtensionReport_;  // the session clock's time

    // Everything below lives on the bridge thread.
    BrowserSessionTable sessions_;
    std::shared_ptr<PeerOwnerLookup> peerOwners_;
    std::uint32_t ownUser_;
    bool toldPortHeld_ = false;
    std::atomic<std::uint16_t> heldPort_{0};  // written on the bridge thread, read anywhere
    bool toldPeerRefused_ = false;
    std::vector<Acceptor> acceptors_;
    std::map<std::uint64_t, Connection> connections_;
    std::uint64_t nextConnectionId_ = 1;
    std::uint64_t publishedRevision_ = 0;
    // One read buffer shared by all connections: data is read only when a socket is readable
    // and is appended to that connection's own buffer at once, so idle connections hold none.
    std::array<char, maximumRequestBytes> scratch_{};
};

}  // namespace sonavista
