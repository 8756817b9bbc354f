// The sockets of an exchange and the pattern itself: listen, send, receive.
#include "exchange.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

socket_fd& socket_fd::operator=(socket_fd&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) close(fd);
        fd = other.fd;
        other.fd = -1;
    }
    return *this;
}

socket_fd::~socket_fd() {
    if (fd >= 0) close(fd);
}

namespace {

sockaddr_in ipv4(in_addr_t addr, in_port_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = addr;
    sa.sin_port = htons(port);
    return sa;
}

bool bind_to(const socket_fd& sock, in_addr_t addr, in_port_t port) {
    const sockaddr_in sa = ipv4(addr, port);
    return bind(sock.fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

bool enable(const socket_fd& sock, int option) {
    const int on = 1;
    return setsockopt(sock.fd, SOL_SOCKET, option, &on, sizeof on) == 0;
}

socket_fd udp_socket() { return socket_fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)); }

// Thousands of devices answer the same broadcast within milliseconds. Where
// the system lets us force it, the group shares about 32 MiB (the kernel
// accounts twice that), which queues a burst of 50,000 even when the process
// gets no CPU until it ends; otherwise each socket takes what is granted.
void enlarge_receive_buffer(const socket_fd& sock) {
    const int want = static_cast<int>((32U << 20) / reply_group_size);
    if (setsockopt(sock.fd, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want) == 0) return;
    setsockopt(sock.fd, SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
}

// A reply socket of the set: all of them share the port, each with a buffer
// of its own, receive times and a count of what its full buffer dropped.
// Without the times the replies of the set could not be merged in their
// order.
// With arrivals, each datagram also tells the address it was sent to and
// the interface it came in on.
socket_fd reply_socket(in_addr_t addr, bool arrivals) {
    socket_fd sock = udp_socket();
    if (!sock.valid() || !enable(sock, SO_REUSEPORT) || !enable(sock, SO_TIMESTAMPNS)) return {};
    const int on = 1;
    if (arrivals && setsockopt(sock.fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) return {};
    enlarge_receive_buffer(sock);
    enable(sock, SO_RXQ_OVFL);
    if (!bind_to(sock, addr, reply_port)) return {};
    return sock;
}

// Any program of the same user could join a reuse group, so the port counts
// as free only when a socket that shares nothing can take it.
bool reply_port_free() {
    const socket_fd sock = udp_socket();
    return sock.valid() && bind_to(sock, htonl(INADDR_ANY), reply_port);
}

in_addr_t bound_address(const socket_fd& sock) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getsockname(sock.fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return htonl(INADDR_ANY);
    return sa.sin_addr.s_addr;
}

// Whether addr is the address of one of this host's interfaces (a
// broadcast address is not).
bool interface_address(in_addr_t addr) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool found = false;
    for (const ifaddrs* i = list; i && !found; i = i->ifa_next) {
        if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET) {
            found = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr == addr;
        }
    }
    freeifaddrs(list);
    return found;
}

// Bound to source (port chosen by the system), connected to destination's
// device port, leaving by interface ifindex where one is given; invalid
// when any of it fails.
socket_fd request_socket(in_addr_t source, in_addr_t destination, int ifindex = 0) {
    socket_fd sock = udp_socket();
    if (!sock.valid() || !enable(sock, SO_BROADCAST) || !bind_to(sock, source, 0)) return {};
    // The option takes the index in network byte order for IPv4.
    const auto index = static_cast<std::uint32_t>(htonl(static_cast<std::uint32_t>(ifindex)));
    if (ifindex != 0 && setsockopt(sock.fd, IPPROTO_IP, IP_UNICAST_IF, &index, sizeof index) != 0)
        return {};
    const sockaddr_in to = ipv4(destination, device_port);
    if (connect(sock.fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) return {};
    return sock;
}

// The local address that devices answer to: the one the request leaves
// from. A socket bound to a broadcast address sends from the interface's
// own address, which an unbound socket on the same route tells.
in_addr_t reply_address(const socket_fd& request, in_addr_t destination) {
    const in_addr_t bound = bound_address(request);
    if (interface_address(bound)) return bound;
    const socket_fd probe = request_socket(htonl(INADDR_ANY), destination);
    if (!probe.valid()) return htonl(INADDR_ANY);
    const in_addr_t routed = bound_address(probe);
    return interface_address(routed) ? routed : htonl(INADDR_ANY);
}

enum class stamp { given, missing, unknown };

// Whether a byte sent over the loopback connection arrives with a receive
// time: the system stamps none while no socket has asked for them.
stamp arrival_stamp(const socket_fd& sender, const socket_fd& reader) {
    char byte = 0;
    if (send(sender.fd, &byte, 1, MSG_NOSIGNAL) != 1) return stamp::unknown;
    iovec iov{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    if (recvmsg(reader.fd, &msg, 0) != 1) return stamp::unknown;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) return stamp::given;
    }
    return stamp::missing;
}

// The system switches its receive stamps on a moment after the first socket
// asks for them (a worker does it, late on a busy machine), and stamps a
// datagram that came unstamped when it is read: a burst arriving meanwhile
// would be merged by read time, socket after socket, out of its order. So
// before a request goes out, a byte goes over a loopback connection until
// one arrives stamped. Bounded: without a loopback, or with no worker in
// time, the replies are taken as they come.
void await_receive_stamps() {
    constexpr auto bound = std::chrono::seconds(1);
    const socket_fd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in sa = ipv4(htonl(INADDR_LOOPBACK), 0);
    socklen_t len = sizeof sa;
    if (!listener.valid() || bind(listener.fd, reinterpret_cast<const sockaddr*>(&sa), len) != 0 ||
        listen(listener.fd, 1) != 0 ||
        getsockname(listener.fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return;
    // A firewall may drop what the loopback carries: no step waits long.
    const timeval patience{0, 100'000};
    const socket_fd sender(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!sender.valid() ||
        setsockopt(sender.fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience) != 0 ||
        connect(sender.fd, reinterpret_cast<const sockaddr*>(&sa), len) != 0)
        return;
    const socket_fd reader(accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    if (!reader.valid() || !enable(reader, SO_TIMESTAMPNS) ||
        setsockopt(reader.fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience) != 0)
        return;
    const auto until = std::chrono::steady_clock::now() + bound;
    while (arrival_stamp(sender, reader) == stamp::missing &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

}  // namespace

exchange_status open_exchange(in_addr_t source, in_addr_t destination, exchange_sockets& ex) {
    return open_exchange({exchange_source{source, 0}}, destination, false, ex);
}

exchange_status open_exchange(const std::vector<exchange_source>& sources, in_addr_t destination,
                              bool arrivals, exchange_sockets& ex) {
    ex = {};
    if (!reply_port_free()) return exchange_status::listen_failed;
    for (const exchange_source& source : sources) {
        socket_fd request = request_socket(source.addr, destination, source.ifindex);
        if (!request.valid()) return exchange_status::send_failed;
        ex.locals.push_back(reply_address(request, destination));
        ex.requests.push_back(std::move(request));
    }

    // A broadcast reaches every socket on the wildcard address, so there is
    // exactly one; unicast replies go to the group on their address.
    socket_fd any = reply_socket(htonl(INADDR_ANY), arrivals);
    if (!any.valid()) return exchange_status::listen_failed;
    ex.replies.push_back(std::move(any));
    // A group only adds buffer: short of descriptors, it takes as many
    // sockets as open, and with none the wildcard socket hears everything.
    std::vector<in_addr_t> grouped;
    for (const in_addr_t local : ex.locals) {
        if (local == htonl(INADDR_ANY) ||
            std::find(grouped.begin(), grouped.end(), local) != grouped.end())
            continue;
        grouped.push_back(local);
        for (std::size_t i = 0; i < reply_group_size; ++i) {
            socket_fd sock = reply_socket(local, arrivals);
            if (!sock.valid()) break;
            ex.replies.push_back(std::move(sock));
        }
    }
    await_receive_stamps();
    return exchange_status::done;
}

int send_request(const exchange_sockets& ex, const char* text) { return send_request(ex, 0, text); }

int send_request(const exchange_sockets& ex, std::size_t source, const char* text) {
    if (source >= ex.requests.size()) return -1;
    const std::size_t len = std::strlen(text);
    const ssize_t sent = send(ex.requests[source].fd, text, len, 0);
    if (sent < 0 || static_cast<std::size_t>(sent) != len) return -1;
    return 0;
}

std::string replies_lost(unsigned long dropped) {
    return std::to_string(dropped) + (dropped == 1 ? " reply" : " replies") +
           " lost (receive buffer full)";
}

exchange_status exchange(in_addr_t source, in_addr_t destination, const char* text,
                         const reply_handler& handler, std::chrono::milliseconds bound,
                         receive_result* received) {
    exchange_sockets ex;
    const exchange_status opened = open_exchange(source, destination, ex);
    if (opened != exchange_status::done) return opened;
    if (send_request(ex, text) != 0) return exchange_status::send_failed;
    const receive_result got = receiver(ex, handler, bound);
    if (received) *received = got;
    return exchange_status::done;
}
