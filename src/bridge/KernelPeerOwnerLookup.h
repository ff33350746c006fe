#pragma once

#include "bridge/PeerOwnerLookup.h"

namespace sonavista {

// Asks the Linux kernel who owns a loopback peer's socket: the socket diagnostics interface
// (NETLINK_SOCK_DIAG, one exact look-up of the connection's four-tuple), or, where that is not
// available (no inet_diag in the kernel, a sandbox without netlink), the socket tables in /proc/net/tcp and /proc/net/tcp6. Both see only the sockets of
// our own network namespace, which is where every loopback peer lives.
class KernelPeerOwnerLookup final : public PeerOwnerLookup {
public:
    enum class Method { socketDiagnostics, procTables };

    explicit KernelPeerOwnerLookup(Method method = Method::socketDiagnostics) : method_(method) {}
    ~KernelPeerOwnerLookup() override;
    KernelPeerOwnerLookup(const KernelPeerOwnerLookup&) = delete;
    KernelPeerOwnerLookup& operator=(const KernelPeerOwnerLookup&) = delete;

    std::optional<std::uint32_t> ownerOf(const asio::ip::tcp::endpoint& ours,
                                         const asio::ip::tcp::endpoint& theirs) override;

private:
    enum class Answer { owner, noSuchSocket, unavailable };
    Answer askSocketDiagnostics(const asio::ip::tcp::endpoint& ours, const asio::ip::tcp::endpoint& theirs,
                                std::uint32_t& owner);

    Method method_;
    int netlink_ = -1;  // opened on first use and kept
    std::uint32_t sequence_ = 0;
};

}  // namespace sonavista
