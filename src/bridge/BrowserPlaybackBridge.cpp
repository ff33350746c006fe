#include "bridge/BrowserPlaybackBridge.h"

#include "base/SteadyClock.h"
#include "bridge/BridgeProtocol.h"
#include "bridge/KernelPeerOwnerLookup.h"

#include <asio/post.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <future>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace sonavista {
namespace {

std::shared_ptr<const Clock> clockOrDefault(std::shared_ptr<const Clock> clock) {
    return clock ? std::move(clock) : std::make_shared<SteadyClock>();
}

std::chrono::steady_clock::duration seconds(double value) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(value));
}

// Programs the application starts (a browser, the sound settings) must not inherit the
// bridge's sockets: a child holding the listener keeps the port after we quit.
void closeOnExec(int descriptor) {
    const int flags = ::fcntl(descriptor, F_GETFD);
    if (flags >= 0) ::fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC);
}

// Opens, binds and listens; nothing when any step fails (address missing, port taken), with
// the reason in `error`.
std::shared_ptr<asio::ip::tcp::acceptor> listenOn(asio::io_context& io, const asio::ip::address& address,
                                                  std::uint16_t port, asio::error_code& error) {
    auto acceptor = std::make_shared<asio::ip::tcp::acceptor>(io);
    const asio::ip::tcp::endpoint endpoint(address, port);
    acceptor->open(endpoint.protocol(), error);
    if (!error) closeOnExec(acceptor->native_handle());
    if (!error) acceptor->set_option(asio::socket_base::reuse_address(true), error);
    if (!error && address.is_v6()) acceptor->set_option(asio::ip::v6_only(true), error);
    if (!error) acceptor->bind(endpoint, error);
    if (!error) acceptor->listen(asio::socket_base::max_listen_connections, error);
    if (!error) acceptor->non_blocking(true, error);
    if (error) return nullptr;
    return acceptor;
}

}  // namespace

BrowserPlaybackBridge::BrowserPlaybackBridge() : BrowserPlaybackBridge(Options{}) {}

BrowserPlaybackBridge::BrowserPlaybackBridge(Options options)
    : options_(std::move(options)),
      io_(std::make_unique<asio::io_context>(1)),
      sessions_(clockOrDefault(options_.clock), options_.sessionLifetime),
      peerOwners_(options_.peerOwners ? options_.peerOwners : std::make_shared<KernelPeerOwnerLookup>()),
      ownUser_(options_.ownUser.value_or(static_cast<std::uint32_t>(::geteuid()))) {
    work_.emplace(io_->get_executor());
    thread_ = std::thread([io = io_.get()] {
        pthread_setname_np(pthread_self(), "sv-bridge");
        io->run();
    });
}

BrowserPlaybackBridge::~BrowserPlaybackBridge() {
    work_.reset();
    io_->stop();
    thread_.join();
    // The thread is gone: close what is left here, then drop the pending handlers.
    for (const auto& acceptor : acceptors_) {
        asio::error_code ignored;
        acceptor->close(ignored);
    }
    acceptors_.clear();
    for (const auto& [id, connection] : connections_) {
        asio::error_code ignored;
        connection->deadline.cancel();
        // Bytes left unread would turn the close into a reset; what has arrived is discarded
        // (a few reads at most: the sockets do not block).
        for (int read = 0; read < 4 && !ignored; ++read) connection->socket.read_some(asio::buffer(scratch_), ignored);
        ignored.clear();
        connection->socket.close(ignored);
        connection->phase = BridgeConnection::Phase::closed;
    }
    connections_.clear();
    io_.reset();
}

void BrowserPlaybackBridge::start() {
    {
        std::lock_guard lock(publishedMutex_);
        publishing_ = true;
    }
    asio::post(*io_, [this] {
        startListening();
        publishSessions();  // what in-flight connections stored while stopped
    });
}

void BrowserPlaybackBridge::stop() {
    {
        // Forgotten at once for readers; the table itself is emptied on the bridge thread.
        std::lock_guard lock(publishedMutex_);
        publishing_ = false;
        published_ = std::make_shared<const Summary>();
    }
    asio::post(*io_, [this] {
        stopListening();
        sessions_.removeAll();
    });
}

void BrowserPlaybackBridge::sync(const std::function<void()>& task) {
    if (io_->get_executor().running_in_this_thread()) {
        task();
        return;
    }
    std::promise<void> done;
    asio::post(*io_, [&] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

std::optional<MusicPlaybackSnapshot> BrowserPlaybackBridge::snapshotSync(const MusicPlayerSet& enabled) {
    std::shared_ptr<const Summary> sessions;
    {
        std::lock_guard lock(publishedMutex_);
        sessions = published_;
    }
    const double cutoff = sessions_.clock().now() - sessions_.sessionLifetime();
    // Stale sessions are skipped here; the bridge thread drops them later, without anyone waiting.
    if (std::any_of(sessions->begin(), sessions->end(),
                    [cutoff](const BrowserSession& session) { return session.updatedAt < cutoff; })) {
        asio::post(*io_, [this] {
            sessions_.removeExpiredSessions();
            publishSessions();
        });
    }
    return BrowserSessionTable::bestSession(*sessions, enabled, cutoff);
}

std::optional<double> BrowserPlaybackBridge::secondsSinceExtensionReport() {
    std::optional<double> last;
    {
        std::lock_guard lock(publishedMutex_);
        last = lastExtensionReport_;
    }
    if (!last) return std::nullopt;
    return std::max(sessions_.clock().now() - *last, 0.0);
}

void BrowserPlaybackBridge::publishSessions() {
    if (sessions_.revision() == publishedRevision_) return;
    auto copy = std::make_shared<const Summary>(sessions_.latestSessions());
    std::lock_guard lock(publishedMutex_);
    if (!publishing_) return;
    published_ = std::move(copy);
    publishedRevision_ = sessions_.revision();
}

std::optional<std::uint16_t> BrowserPlaybackBridge::portHeldElsewhere() const {
    const std::uint16_t port = heldPort_.load();
    if (port == 0) return std::nullopt;
    return port;
}

std::uint16_t BrowserPlaybackBridge::listeningPort() {
    std::uint16_t port = 0;
    sync([&] {
        if (!acceptors_.empty()) {
            asio::error_code ignored;
            port = acceptors_.front()->local_endpoint(ignored).port();
        }
    });
    return port;
}

std::vector<std::string> BrowserPlaybackBridge::listeningAddresses() {
    std::vector<std::string> addresses;
    sync([&] {
        for (const auto& acceptor : acceptors_) {
            asio::error_code ignored;
            addresses.push_back(acceptor->local_endpoint(ignored).address().to_string());
        }
    });
    return addresses;
}

std::size_t BrowserPlaybackBridge::openConnectionCount() {
    std::size_t count = 0;
    sync([&] { count = connections_.size(); });
    return count;
}

std::map<std::string, BrowserSession> BrowserPlaybackBridge::sessions() {
    std::map<std::string, BrowserSession> copy;
    sync([&] { copy = sessions_.sessions(); });
    return copy;
}

void BrowserPlaybackBridge::startListening() {
    if (!acceptors_.empty()) return;
    // IPv4 loopback decides whether the bridge listens; IPv6 loopback joins on the same port
    // when the system has it.
    asio::error_code error;
    auto v4 = listenOn(*io_, asio::ip::address_v4::loopback(), options_.port, error);
    if (!v4) {
        // Most likely another user's Sonavista, which would take this user's reports for its own.
        if (error == asio::error::address_in_use) heldPort_ = options_.port;
        if (error == asio::error::address_in_use && !toldPortHeld_) {
            toldPortHeld_ = true;
            std::fprintf(stderr,
                         "sonavista: port %u on 127.0.0.1 is held by another program or user; browser tabs "
                         "are not detected until Sonavista starts again with the port free\n",
                         static_cast<unsigned>(options_.port));
        }
        return;
    }
    heldPort_ = 0;
    const std::uint16_t port = v4->local_endpoint(error).port();
    if (error) return;
    acceptors_.push_back(v4);
    if (auto v6 = listenOn(*io_, asio::ip::address_v6::loopback(), port, error)) acceptors_.push_back(v6);
    for (const auto& acceptor : acceptors_) accept(acceptor);
}

void BrowserPlaybackBridge::stopListening() {
    for (const auto& acceptor : acceptors_) {
        asio::error_code ignored;
        acceptor->close(ignored);
    }
    acceptors_.clear();
}

void BrowserPlaybackBridge::accept(const Acceptor& acceptor) {
    acceptor->async_accept([this, acceptor](const asio::error_code& error, asio::ip::tcp::socket socket) {
        if (!acceptor->is_open()) return;  // closed by stop(): a socket accepted meanwhile is dropped
        if (!error) {
            adopt(std::move(socket));
            // Take whatever else is already waiting without another trip through the reactor
            // (bounded, so other connections get their turn).
            for (int more = 0; more < 32; ++more) {
                asio::error_code pending;
                auto next = acceptor->accept(pending);
                if (pending) break;
                adopt(std::move(next));
            }
            accept(acceptor);
            return;
        }
        // Accepting failed for this one connection (descriptors exhausted, peer gone): the
        // listener itself is fine. Pause briefly so that a persistent shortage does not spin.
        auto pause = std::make_shared<asio::steady_timer>(*io_, std::chrono::milliseconds(50));
        pause->async_wait([this, acceptor, pause](const asio::error_code&) {
            if (acceptor->is_open()) accept(acceptor);
        });
    });
}

bool BrowserPlaybackBridge::isOwnUsers(const asio::ip::tcp::socket& socket) {
    asio::error_code localError, remoteError;
    const auto ours = socket.local_endpoint(localError);
    const auto theirs = socket.remote_endpoint(remoteError);
    if (localError || remoteError) return false;  // the peer is already gone
    const auto owner = peerOwners_->ownerOf(ours, theirs);
    if (owner == ownUser_) return true;
    if (!toldPeerRefused_) {
        toldPeerRefused_ = true;
        if (owner) {
            std::fprintf(stderr, "sonavista: refused a browser bridge connection from user %u (not this user)\n",
                         static_cast<unsigned>(*owner));
        } else {
            std::fprintf(stderr, "sonavista: refused a browser bridge connection whose user could not be told\n");
        }
    }
    return false;
}

void BrowserPlaybackBridge::adopt(asio::ip::tcp::socket socket) {
    closeOnExec(socket.native_handle());
    if (!isOwnUsers(socket)) {
        // Closed unanswered: another user learns nothing, and their report is never read.
        asio::error_code ignored;
        socket.close(ignored);
        return;
    }
    if (connections_.size() >= options_.maxConnections) {
        // Full: one connection must go at once. Closing the one that has waited longest
        // without being answered (rather than the newcomer) keeps the bridge answering real
        // reports while a client holds many idle connections; the newcomer goes only when
        // every open connection is in the middle of sending its response.
        const auto stalest = std::find_if(connections_.begin(), connections_.end(), [](const auto& entry) {
            return entry.second->phase != BridgeConnection::Phase::sending;
        });
        if (stalest == connections_.end()) {
            asio::error_code ignored;
            socket.close(ignored);
            return;
        }
        close(Connection(stalest->second));
    }
    asio::error_code error;
    socket.non_blocking(true, error);
    if (error) return;
    auto connection = std::make_shared<BridgeConnection>(std::move(socket), nextConnectionId_++);
    connections_.emplace(connection->id, connection);

    connection->deadline.expires_after(seconds(options_.incompleteRequestTimeout));
    connection->deadline.async_wait([this, connection](const asio::error_code& error) {
        if (error || connection->phase == BridgeConnection::Phase::closed) return;
        if (connection->phase == BridgeConnection::Phase::receiving) {
            respond({std::string(BridgeProtocol::badRequest), std::nullopt}, connection, /*drainAfterwards=*/true);
        } else {
            close(connection);  // the response could not be delivered in time
        }
    });
    receive(connection);  // the request often arrives with the connection: try reading at once
}

void BrowserPlaybackBridge::awaitData(const Connection& connection) {
    connection->socket.async_wait(asio::ip::tcp::socket::wait_read, [this, connection](const asio::error_code& error) {
        if (connection->phase == BridgeConnection::Phase::closed) return;
        if (connection->phase == BridgeConnection::Phase::draining) {
            drain(connection);
            return;
        }
        if (connection->phase != BridgeConnection::Phase::receiving) return;
        if (error) {
            respond({std::string(BridgeProtocol::badRequest), std::nullopt}, connection, false);
            return;
        }
        receive(connection);
    });
}

void BrowserPlaybackBridge::receive(const Connection& connection) {
    asio::error_code error;
    const std::size_t count = connection->socket.read_some(asio::buffer(scratch_), error);
    if (error == asio::error::would_block || error == asio::error::try_again) {
        awaitData(connection);
        return;
    }
    const std::size_t previousSize = connection->buffer.size();
    connection->buffer.append(scratch_.data(), count);

    // Looks for the blank line only in the new bytes (and the three before them), and parses
    // the header block once, so a client trickling bytes cannot make each read cost more.
    if (!connection->head) {
        const auto end = connection->buffer.find("\r\n\r\n", previousSize >= 3 ? previousSize - 3 : 0);
        if (end != std::string::npos) {
            auto head = BridgeProtocol::parseHead(std::string_view(connection->buffer).substr(0, end + 4));
            if (!head) {
                // Nothing the peer sends later can complete it: refused now, not at the time-out.
                respond({std::string(BridgeProtocol::badRequest), std::nullopt}, connection, true);
                return;
            }
            connection->headerBytes = end + 4;
            connection->requestLength = head->bodyLength > maximumRequestBytes
                                            ? std::numeric_limits<std::uint64_t>::max()
                                            : connection->headerBytes + head->bodyLength;
            connection->head = std::move(head->request);
        }
    }
    std::optional<HTTPRequest> request;
    if (connection->head && connection->buffer.size() >= connection->requestLength) {
        request = std::move(connection->head);
        request->body = connection->buffer.substr(connection->headerBytes,
                                                  connection->requestLength - connection->headerBytes);
    }

    if (request) {
        process(*request, connection);
    } else if (error) {
        // The peer finished sending (end of stream) or the connection failed.
        respond({std::string(BridgeProtocol::badRequest), std::nullopt}, connection, false);
    } else if (connection->buffer.size() >= maximumRequestBytes) {
        respond({std::string(BridgeProtocol::badRequest), std::nullopt}, connection, true);
    } else {
        awaitData(connection);
    }
}

void BrowserPlaybackBridge::process(const HTTPRequest& request, const Connection& connection) {
    const auto response = BridgeProtocol::process(request, sessions_);
    publishSessions();  // before answering, so that an answered report is visible to readers
    // An accepted report echoes an allowed origin; a non-empty allowed one is an extension's.
    if (request.method == "POST" && response.status == BridgeProtocol::noContent && response.origin &&
        !response.origin->empty()) {
        const double now = sessions_.clock().now();
        std::lock_guard lock(publishedMutex_);
        lastExtensionReport_ = now;
    }
    respond(response, connection, false);
}

void BrowserPlaybackBridge::respond(const BridgeResponse& response, const Connection& connection,
                                    bool drainAfterwards) {
    connection->phase = BridgeConnection::Phase::sending;
    connection->buffer = std::string();  // release the request bytes now
    connection->response = BridgeProtocol::responseText(response.status, response.origin);
    // The answer is a few hundred bytes and nearly always fits the socket buffer at once.
    asio::error_code error;
    const std::size_t written = connection->socket.write_some(asio::buffer(connection->response), error);
    if (!error && written == connection->response.size()) {
        responseSent(connection, error, drainAfterwards);
        return;
    }
    if (error && error != asio::error::would_block && error != asio::error::try_again) {
        responseSent(connection, error, drainAfterwards);
        return;
    }
    asio::async_write(connection->socket, asio::buffer(connection->response) + written,
                      [this, connection, drainAfterwards](const asio::error_code& error, std::size_t) {
                          responseSent(connection, error, drainAfterwards);
                      });
}

void BrowserPlaybackBridge::responseSent(const Connection& connection, const asio::error_code& error,
                                         bool drainAfterwards) {
    if (connection->phase == BridgeConnection::Phase::closed) return;
    if (error || !drainAfterwards) {
        close(connection);
        return;
    }
    // The peer may still be sending: closing now with unread data would reset the connection
    // and could destroy the response in flight.
    asio::error_code ignored;
    connection->socket.shutdown(asio::socket_base::shutdown_send, ignored);
    connection->phase = BridgeConnection::Phase::draining;
    connection->deadline.expires_after(seconds(options_.drainTimeout));
    connection->deadline.async_wait([this, connection](const asio::error_code& error) {
        if (!error) close(connection);
    });
    drain(connection);
}

void BrowserPlaybackBridge::drain(const Connection& connection) {
    // One read per wake-up, so a peer that keeps sending cannot hold the bridge thread.
    asio::error_code error;
    connection->socket.read_some(asio::buffer(scratch_), error);
    if (error && error != asio::error::would_block && error != asio::error::try_again) {
        close(connection);  // end of stream or failure: nothing more to wait for
        return;
    }
    awaitData(connection);
}

void BrowserPlaybackBridge::close(const Connection& connection) {
    if (connection->phase == BridgeConnection::Phase::closed) return;
    connection->phase = BridgeConnection::Phase::closed;
    asio::error_code ignored;
    connection->deadline.cancel();
    connection->socket.close(ignored);
    connections_.erase(connection->id);
}

}  // namespace sonavista
