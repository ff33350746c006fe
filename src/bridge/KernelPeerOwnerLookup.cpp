#include "bridge/KernelPeerOwnerLookup.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace sonavista {
namespace {

// NLMSG_OK without its comparison of the unsigned length field with a signed length, which
// clang reports.
bool messageFits(const nlmsghdr* message, int length) {
    return length >= static_cast<int>(sizeof(nlmsghdr)) && message->nlmsg_len >= sizeof(nlmsghdr) &&
           message->nlmsg_len <= static_cast<unsigned>(length);
}

// An address as the kernel prints it in /proc/net/tcp*: each 32-bit word of the address in
// network byte order, printed as the number the machine reads from it, then the port.
std::string procAddress(const asio::ip::tcp::endpoint& endpoint) {
    std::string text;
    char word[9];
    const auto print = [&](const unsigned char* bytes, std::size_t size) {
        for (std::size_t i = 0; i < size; i += 4) {
            std::uint32_t value;
            std::memcpy(&value, bytes + i, 4);
            std::snprintf(word, sizeof word, "%08X", value);
            text += word;
        }
    };
    if (endpoint.address().is_v4()) {
        print(endpoint.address().to_v4().to_bytes().data(), 4);
    } else {
        print(endpoint.address().to_v6().to_bytes().data(), 16);
    }
    std::snprintf(word, sizeof word, ":%04X", static_cast<unsigned>(endpoint.port()));
    return text + word;
}

// The uid column of the line whose local address is `theirs` and remote address `ours`.
std::optional<std::uint32_t> ownerFromProcTable(const asio::ip::tcp::endpoint& ours,
                                                const asio::ip::tcp::endpoint& theirs) {
    std::ifstream table(ours.address().is_v4() ? "/proc/net/tcp" : "/proc/net/tcp6");
    const std::string local = procAddress(theirs), remote = procAddress(ours);
    std::string line;
    std::getline(table, line);  // the column titles
    while (std::getline(table, line)) {
        // sl local remote st tx:rx tr:when retrnsmt uid ...
        std::istringstream fields(line);
        std::string slot, lineLocal, lineRemote, skip;
        unsigned long uid = 0;
        if (!(fields >> slot >> lineLocal >> lineRemote) || lineLocal != local || lineRemote != remote) continue;
        if (fields >> skip >> skip >> skip >> skip >> uid) return static_cast<std::uint32_t>(uid);
        return std::nullopt;
    }
    return std::nullopt;
}

void copyAddress(const asio::ip::address& address, __be32 (&into)[4]) {
    if (address.is_v4()) {
        const auto bytes = address.to_v4().to_bytes();
        std::memcpy(into, bytes.data(), bytes.size());
    } else {
        const auto bytes = address.to_v6().to_bytes();
        std::memcpy(into, bytes.data(), bytes.size());
    }
}

}  // namespace

KernelPeerOwnerLookup::~KernelPeerOwnerLookup() {
    if (netlink_ >= 0) ::close(netlink_);
}

std::optional<std::uint32_t> KernelPeerOwnerLookup::ownerOf(const asio::ip::tcp::endpoint& ours,
                                                            const asio::ip::tcp::endpoint& theirs) {
    if (method_ == Method::socketDiagnostics) {
        std::uint32_t owner = 0;
        switch (askSocketDiagnostics(ours, theirs, owner)) {
            case Answer::owner: return owner;
            case Answer::noSuchSocket: return std::nullopt;
            case Answer::unavailable: break;  // this kernel or sandbox lacks it: read the tables
        }
    }
    return ownerFromProcTable(ours, theirs);
}

KernelPeerOwnerLookup::Answer KernelPeerOwnerLookup::askSocketDiagnostics(const asio::ip::tcp::endpoint& ours,
                                                                          const asio::ip::tcp::endpoint& theirs,
                                                                          std::uint32_t& owner) {
    if (netlink_ < 0) netlink_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (netlink_ < 0) return Answer::unavailable;

    // The peer's socket: its own end is `theirs`, its far end `ours`.
    struct {
        nlmsghdr header;
        inet_diag_req_v2 body;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = ++sequence_;
    request.body.sdiag_family = theirs.address().is_v4() ? AF_INET : AF_INET6;
    request.body.sdiag_protocol = IPPROTO_TCP;
    request.body.idiag_states = ~0U;
    request.body.id.idiag_sport = htons(theirs.port());
    request.body.id.idiag_dport = htons(ours.port());
    copyAddress(theirs.address(), request.body.id.idiag_src);
    copyAddress(ours.address(), request.body.id.idiag_dst);
    request.body.id.idiag_cookie[0] = request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink_, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
        return Answer::unavailable;
    }
    // The kernel answers while handling the request, so the reply is already queued. Replies to
    // an earlier request (none are expected) are skipped by their sequence number.
    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        const ssize_t size = ::recv(netlink_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (size < 0 && errno == EINTR) continue;
        if (size <= 0) return Answer::unavailable;
        int length = static_cast<int>(size);
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); messageFits(message, length);
             message = NLMSG_NEXT(message, length)) {
            if (message->nlmsg_seq != request.header.nlmsg_seq) continue;
            if (message->nlmsg_type == NLMSG_ERROR) {
                const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(message));
                return error->error == -ENOENT ? Answer::noSuchSocket : Answer::unavailable;
            }
            if (message->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
                message->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
                return Answer::unavailable;
            }
            const auto* reply = static_cast<const inet_diag_msg*>(NLMSG_DATA(message));
            // Only the exact connection asked for counts (a listener found instead does not).
            if (reply->id.idiag_sport != request.body.id.idiag_sport ||
                reply->id.idiag_dport != request.body.id.idiag_dport) {
                return Answer::noSuchSocket;
            }
            owner = reply->idiag_uid;
            return Answer::owner;
        }
    }
}

}  // namespace sonavista
