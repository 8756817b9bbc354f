#include "neighbour.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "exchange.h"

bool solicit_neighbour(int ifindex, in_addr_t target) {
    // Index 0 would leave the choice of interface to the routing table.
    if (ifindex <= 0) {
        errno = ENODEV;
        return false;
    }
    const socket_fd sock(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!sock.valid()) return false;
    // IP_UNICAST_IF takes the index in network byte order.
    const std::uint32_t index = htonl(static_cast<std::uint32_t>(ifindex));
    if (setsockopt(sock.fd, IPPROTO_IP, IP_UNICAST_IF, &index, sizeof index) != 0) return false;
    // Without it a full neighbour table loses the datagram and sendto says
    // nothing; with it, ENOBUFS.
    const int on = 1;
    if (setsockopt(sock.fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = target;
    return sendto(sock.fd, nullptr, 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

namespace {

// One RTM_NEWNEIGH message's entry, if it is IPv4 with a destination; false
// when an attribute overruns the message.
bool read_entry(const nlmsghdr* h, std::vector<neighbour>& out) {
    if (h->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg))) return false;
    const auto* nd = static_cast<const ndmsg*>(NLMSG_DATA(h));
    if (nd->ndm_family != AF_INET) return true;
    neighbour n;
    n.ifindex = nd->ndm_ifindex;
    n.state = nd->ndm_state;
    bool has_addr = false;
    int left = static_cast<int>(h->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
    for (const auto* a = reinterpret_cast<const rtattr*>(nd + 1); RTA_OK(a, left);
         a = RTA_NEXT(a, left)) {
        const std::size_t len = RTA_PAYLOAD(a);
        if (a->rta_type == NDA_DST && len == sizeof n.addr) {
            std::memcpy(&n.addr, RTA_DATA(a), len);
            has_addr = true;
        } else if (a->rta_type == NDA_LLADDR && len == sizeof(mac_address)) {
            n.mac.emplace();
            std::memcpy(n.mac->data(), RTA_DATA(a), len);
        }
    }
    // What RTA_OK refused but did not use up is a cut attribute.
    if (left > 0) return false;
    if (has_addr) out.push_back(n);
    return true;
}

}  // namespace

dump_state parse_neighbours(const void* data, std::size_t size, std::vector<neighbour>& out,
                            int& error) {
    error = EBADMSG;
    if (size > INT32_MAX) return dump_state::failed;
    int left = static_cast<int>(size);
    for (const auto* h = static_cast<const nlmsghdr*>(data); NLMSG_OK(h, left);
         h = NLMSG_NEXT(h, left)) {
        if (h->nlmsg_type == NLMSG_DONE) return dump_state::done;
        if (h->nlmsg_type == NLMSG_ERROR) {
            if (h->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr))) return dump_state::failed;
            const int code = static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
            if (code < 0) error = -code;
            return dump_state::failed;
        }
        if (h->nlmsg_type == RTM_NEWNEIGH && !read_entry(h, out)) return dump_state::failed;
    }
    if (left > 0) return dump_state::failed;
    return dump_state::more;
}

bool read_neighbours(std::vector<neighbour>& out) {
    const socket_fd sock(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!sock.valid()) return false;
    struct {
        nlmsghdr h;
        ndmsg nd;
    } request{};
    request.h.nlmsg_len = sizeof request;
    request.h.nlmsg_type = RTM_GETNEIGH;
    request.h.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.h.nlmsg_seq = 1;
    request.nd.ndm_family = AF_INET;
    if (send(sock.fd, &request, sizeof request, 0) != static_cast<ssize_t>(sizeof request))
        return false;

    // The kernel makes a dump's messages for a buffer of this size; MSG_TRUNC
    // tells a longer one. Words keep the headers aligned.
    std::vector<std::uint32_t> buffer(8192);
    const std::size_t size = buffer.size() * sizeof buffer[0];
    for (;;) {
        const ssize_t n = recv(sock.fd, buffer.data(), size, MSG_TRUNC);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (static_cast<std::size_t>(n) > size) {
            errno = EMSGSIZE;
            return false;
        }
        int error = 0;
        switch (parse_neighbours(buffer.data(), static_cast<std::size_t>(n), out, error)) {
        case dump_state::done:
            return true;
        case dump_state::more:
            break;
        case dump_state::failed:
            errno = error;
            return false;
        }
    }
}

bool neighbour_answered(const neighbour& n) {
    constexpr std::uint16_t found =
        NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;
    return n.mac && (n.state & found) != 0;
}
