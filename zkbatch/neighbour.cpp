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

// The entry of an RTM_NEWNEIGH message, if it is IPv4 with a destination;
// other messages are skipped. false when the message is cut.
bool read_entry(const nlmsghdr& h, std::vector<neighbour>& out) {
    if (h.nlmsg_type != RTM_NEWNEIGH) return true;
    if (h.nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg))) return false;
    const auto* nd = static_cast<const ndmsg*>(NLMSG_DATA(&h));
    if (nd->ndm_family != AF_INET) return true;
    neighbour n;
    n.ifindex = nd->ndm_ifindex;
    n.state = nd->ndm_state;
    bool has_addr = false;
    const bool whole =
        walk_attributes(h, sizeof(ndmsg), [&](unsigned type, const void* data, std::size_t len) {
            if (type == NDA_DST && len == sizeof n.addr) {
                std::memcpy(&n.addr, data, len);
                has_addr = true;
            } else if (type == NDA_LLADDR && len == sizeof(mac_address)) {
                n.mac.emplace();
                std::memcpy(n.mac->data(), data, len);
            }
        });
    if (!whole) return false;
    if (has_addr) out.push_back(n);
    return true;
}

}  // namespace

dump_state parse_neighbours(const void* data, std::size_t size, std::vector<neighbour>& out,
                            int& error) {
    return walk_answer(
        data, size, [&](const nlmsghdr& h) { return read_entry(h, out); }, error);
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
    return netlink_request(sock.fd, &request, sizeof request,
                           [&](const nlmsghdr& h) { return read_entry(h, out); });
}

bool neighbour_answered(const neighbour& n) {
    constexpr std::uint16_t found =
        NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;
    return n.mac && (n.state & found) != 0;
}
