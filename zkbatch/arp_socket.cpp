#include "arp_socket.h"

#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if_arp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// An answer's frame takes some hundreds of bytes to a few KiB of buffer,
// depending on the driver; 10,000 of them fit even at 4 KiB each. The
// kernel accounts twice what is asked for.
constexpr int receive_buffer = 24 << 20;

sockaddr_ll link_address(int ifindex) {
    sockaddr_ll sa{};
    sa.sll_family = AF_PACKET;
    sa.sll_protocol = htons(ETH_P_ARP);
    sa.sll_ifindex = ifindex;
    return sa;
}

}  // namespace

int open_arp(int ifindex, arp_link& out) {
    // Index 0 would bind to every interface.
    if (ifindex <= 0) return ENODEV;
    // Protocol 0 receives nothing until bind: a socket made for ETH_P_ARP
    // would queue frames of every interface in between.
    socket_fd sock(socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!sock.valid()) return errno;
    if (setsockopt(sock.fd, SOL_SOCKET, SO_RCVBUFFORCE, &receive_buffer, sizeof receive_buffer))
        setsockopt(sock.fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);

    sockaddr_ll sa = link_address(ifindex);
    if (bind(sock.fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return errno;
    // A bound packet socket names the interface's hardware type and address.
    socklen_t len = sizeof sa;
    if (getsockname(sock.fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return errno;
    if (sa.sll_hatype != ARPHRD_ETHER || sa.sll_halen != out.mac.size()) return EOPNOTSUPP;

    std::memcpy(out.mac.data(), sa.sll_addr, out.mac.size());
    out.ifindex = ifindex;
    out.sock = std::move(sock);
    return 0;
}

bool send_probe(const arp_link& link, in_addr_t target) {
    const auto probe = arp_probe(link.mac, target);
    sockaddr_ll to = link_address(link.ifindex);
    to.sll_halen = ETH_ALEN;
    std::memset(to.sll_addr, 0xff, ETH_ALEN);
    return sendto(link.sock.fd, probe.data(), probe.size(), 0,
                  reinterpret_cast<const sockaddr*>(&to),
                  sizeof to) == static_cast<ssize_t>(probe.size());
}

bool read_arp(const arp_link& link, const std::function<void(const arp_message&)>& take) {
    // A frame's padding is all that can follow the message; more is cut.
    std::uint8_t frame[64];
    for (;;) {
        sockaddr_ll from{};
        socklen_t len = sizeof from;
        const ssize_t n = recvfrom(link.sock.fd, frame, sizeof frame, 0,
                                   reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        if (from.sll_pkttype == PACKET_OUTGOING) continue;
        if (const auto m = parse_arp(frame, static_cast<std::size_t>(n))) take(*m);
    }
}

bool arp_dropped(const arp_link& link, unsigned& dropped) {
    tpacket_stats stats{};
    socklen_t len = sizeof stats;
    if (getsockopt(link.sock.fd, SOL_PACKET, PACKET_STATISTICS, &stats, &len) != 0) return false;
    dropped = stats.tp_drops;
    return true;
}
