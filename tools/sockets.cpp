#include "sockets.h"

#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "moves.h"

namespace sim {

namespace {

void allow_broadcast(const socket_fd& sock) {
    const int on = 1;
    if (setsockopt(sock.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        die(std::string("cannot set SO_BROADCAST: ") + std::strerror(errno));
    }
}

socket_fd bind_udp(in_addr_t addr, in_port_t port) {
    socket_fd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!sock.valid()) die(std::string("cannot open a UDP socket: ") + std::strerror(errno));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = addr;
    local.sin_port = htons(port);
    if (::bind(sock.fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        die("cannot bind " + address_text(addr) + ":" + std::to_string(port) + ": " +
            std::strerror(errno));
    }
    return sock;
}

}  // namespace

std::string address_text(in_addr_t addr) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = addr;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

void open_sockets(simulator& sim) {
    sim.listener = bind_udp(INADDR_ANY, request_port);
    allow_broadcast(sim.listener);
    // A burst of set messages for a fleet arrives faster than it is logged.
    const int want = 32 << 20;
    if (setsockopt(sim.listener.fd, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want) != 0)
        setsockopt(sim.listener.fd, SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
    // A fleet sends from one socket per device.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    for (std::size_t i = 0; i < sim.opts.devices.size(); ++i) {
        const device& dev = sim.opts.devices[i];
        if (dev.has_fields) sim.by_hw[dev.fields.hw.value_or("")].push_back(i);
    }
    for (const in_port_t port : sim.opts.hold_ports) sim.held.push_back(bind_udp(INADDR_ANY, port));
    for (const device& dev : sim.opts.devices) {
        need_sender(sim, dev.addr, dev.reply_to.has_value());
        if (dev.set_decoy) need_sender(sim, *dev.set_decoy, false);
        if (dev.set_flood) need_sender(sim, *dev.set_flood, false);
    }
}

void need_sender(simulator& sim, in_addr_t addr, bool broadcast) {
    // Look first: emplace would bind a socket before finding the key.
    auto it = sim.senders.find(addr);
    if (it == sim.senders.end()) it = sim.senders.emplace(addr, bind_udp(addr, 0)).first;
    if (broadcast) allow_broadcast(it->second);
}

void send_now(const simulator& sim, in_addr_t from, const sockaddr_in& to,
              const std::string& payload) {
    const auto sender = sim.senders.find(from);
    // A device that moved answers no more from there, as a real one.
    if (sender == sim.senders.end()) return;
    const int fd = sender->second.fd;
    for (;;) {
        const ssize_t sent = ::sendto(fd, payload.data(), payload.size(), 0,
                                      reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent >= 0) break;
        // A burst may outrun the loopback queue; wait a moment and retry.
        if (errno == ENOBUFS || errno == EAGAIN) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            continue;
        }
        if (errno == EINTR) continue;
        std::fprintf(stderr, "zkdevice: sending from %s failed: %s\n", address_text(from).c_str(),
                     std::strerror(errno));
        return;
    }
    if (sim.opts.verbose) {
        std::fprintf(stderr, "zkdevice: %s -> %s:%u %zu bytes\n", address_text(from).c_str(),
                     address_text(to.sin_addr.s_addr).c_str(), ntohs(to.sin_port), payload.size());
    }
}

void queue_send(simulator& sim, mono_clock::time_point when, in_addr_t from, const sockaddr_in& to,
                std::string payload) {
    sim.queue.emplace(when, pending_send{from, to, std::move(payload), std::nullopt});
}

void queue_settle(simulator& sim, mono_clock::time_point when, std::size_t i) {
    sim.queue.emplace(when, pending_send{0, {}, {}, i});
}

void send_due(simulator& sim) {
    const auto now = mono_clock::now();
    while (!sim.queue.empty() && sim.queue.begin()->first <= now) {
        const pending_send& next = sim.queue.begin()->second;
        if (next.settle) {
            settle_address(sim, *next.settle);
        } else {
            send_now(sim, next.from, next.to, next.payload);
        }
        sim.queue.erase(sim.queue.begin());
    }
}

}  // namespace sim
