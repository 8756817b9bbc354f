#include "event_loop.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string_view>
#include <thread>
#include <utility>

#include "device_model.h"

namespace sim {

namespace {

constexpr in_port_t request_port = 65001;
constexpr in_port_t answer_port = 65002;

using std::chrono::milliseconds;

volatile sig_atomic_t stop_requested = 0;

void on_stop_signal(int) { stop_requested = 1; }

std::string address_text(in_addr_t addr) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = addr;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

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

void queue_send(simulator& sim, mono_clock::time_point when, in_addr_t from, const sockaddr_in& to,
                std::string payload) {
    sim.queue.emplace(when, pending_send{from, to, std::move(payload)});
}

void send_now(const simulator& sim, in_addr_t from, const sockaddr_in& to,
              const std::string& payload) {
    const int fd = sim.senders.at(from).fd;
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

void send_due(simulator& sim) {
    const auto now = mono_clock::now();
    while (!sim.queue.empty() && sim.queue.begin()->first <= now) {
        const pending_send& next = sim.queue.begin()->second;
        send_now(sim, next.from, next.to, next.payload);
        sim.queue.erase(sim.queue.begin());
    }
}

// Where dev sends its discovery replies: to the requester unless told
// otherwise, always at the reply port.
sockaddr_in discovery_target(const device& dev, const sockaddr_in& requester) {
    sockaddr_in to = requester;
    if (dev.reply_to) to.sin_addr.s_addr = *dev.reply_to;
    return to;
}

// Sleeps until the realtime clock next reads millisecond ms of a second.
void sleep_until_millisecond(int ms) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    long wait_ns = ms * 1'000'000L - now.tv_nsec;
    if (wait_ns < 0) wait_ns += 1'000'000'000L;
    std::this_thread::sleep_for(std::chrono::nanoseconds(wait_ns));
}

void answer_discovery(simulator& sim, const sockaddr_in& requester) {
    const std::vector<device>& devices = sim.opts.devices;
    if (sim.opts.burst > 0) {
        if (sim.opts.burst_at_ms >= 0) sleep_until_millisecond(sim.opts.burst_at_ms);
        std::vector<std::string> texts;
        texts.reserve(devices.size());
        for (const device& dev : devices) texts.push_back(reply_text(dev));
        for (long i = 0; i < sim.opts.burst; ++i) {
            const auto k = static_cast<std::size_t>(i) % devices.size();
            send_now(sim, devices[k].addr, discovery_target(devices[k], requester), texts[k]);
        }
        return;
    }
    const auto now = mono_clock::now();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const device& dev = devices[i];
        if (drops(sim.loss, i, dev, "request")) continue;
        const std::string text = reply_text(dev);
        const sockaddr_in to = discovery_target(dev, requester);
        for (int n = 0; n < dev.count; ++n)
            queue_send(sim, now + milliseconds(dev.delay_ms), dev.addr, to, text);
    }
}

void answer_set(simulator& sim, const sockaddr_in& to, std::string_view message) {
    const auto tokens = set_tokens(message);
    const auto hw = tokens.find("hw");
    if (hw == tokens.end()) return;
    const auto now = mono_clock::now();
    const auto named = sim.by_hw.find(hw->second);
    if (named == sim.by_hw.end()) return;
    for (const std::size_t i : named->second) {
        device& dev = sim.opts.devices[i];
        if (drops(sim.loss, i, dev, "set message")) continue;
        apply_settings(dev, tokens);
        const std::string confirmation = confirmation_text(dev);
        if (dev.set_decoy) queue_send(sim, now, *dev.set_decoy, to, confirmation);
        if (dev.set_flood) {
            for (int t = 0; t < dev.flood_for_ms; t += dev.flood_interval_ms) {
                queue_send(sim, now + milliseconds(t), *dev.set_flood, to, "noise");
            }
        }
        if (!dev.set_silent)
            queue_send(sim, now + milliseconds(dev.set_delay_ms), dev.addr, to, confirmation);
    }
}

void handle(simulator& sim, const sockaddr_in& sender, std::string_view payload) {
    std::fprintf(sim.log, "%s %s\n", address_text(sender.sin_addr.s_addr).c_str(),
                 escaped(payload).c_str());
    std::fflush(sim.log);
    // Answers go to the requester's address at the reply port, whatever
    // port the request came from.
    sockaddr_in to = sender;
    to.sin_port = htons(answer_port);
    if (payload == discovery_request) {
        answer_discovery(sim, to);
    } else if (payload.substr(0, set_prefix.size()) == set_prefix) {
        answer_set(sim, to, payload);
    }
}

void receive_all(simulator& sim) {
    static char buffer[max_datagram + 1];
    for (;;) {
        sockaddr_in sender{};
        socklen_t size = sizeof sender;
        const ssize_t got = ::recvfrom(sim.listener.fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&sender), &size);
        if (got < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                std::fprintf(stderr, "zkdevice: receiving failed: %s\n", std::strerror(errno));
            }
            return;
        }
        handle(sim, sender, std::string_view(buffer, static_cast<std::size_t>(got)));
        // Each device answers on its own: a flood of datagrams for some
        // must not hold back what others have to send.
        send_due(sim);
    }
}

}  // namespace

sigset_t catch_stop_signals() {
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigset_t wait_mask;
    sigprocmask(SIG_BLOCK, &stop_signals, &wait_mask);
    sigdelset(&wait_mask, SIGINT);
    sigdelset(&wait_mask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return wait_mask;
}

void open_log(simulator& sim) {
    const std::string& path = sim.opts.log_path;
    if (path.empty()) return;
    sim.log = std::fopen(path.c_str(), "w");
    if (!sim.log) die("cannot open log '" + path + "': " + std::strerror(errno));
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
    auto need_sender = [&](in_addr_t addr, bool broadcast) {
        // Look first: emplace would bind a socket before finding the key.
        auto it = sim.senders.find(addr);
        if (it == sim.senders.end()) it = sim.senders.emplace(addr, bind_udp(addr, 0)).first;
        if (broadcast) allow_broadcast(it->second);
    };
    for (const device& dev : sim.opts.devices) {
        need_sender(dev.addr, dev.reply_to.has_value());
        if (dev.set_decoy) need_sender(*dev.set_decoy, false);
        if (dev.set_flood) need_sender(*dev.set_flood, false);
    }
}

void announce_ready(const simulator& sim) {
    if (!sim.opts.ready_path.empty()) {
        // Written under another name and renamed, so a poller never sees it
        // half-written.
        const std::string& path = sim.opts.ready_path;
        const std::string temporary = path + ".tmp";
        std::FILE* f = std::fopen(temporary.c_str(), "w");
        if (!f) die("cannot write '" + temporary + "': " + std::strerror(errno));
        std::fprintf(f, "%ld\n", static_cast<long>(::getpid()));
        if (std::fclose(f) != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
            die("cannot write '" + path + "': " + std::strerror(errno));
        }
    }
    if (sim.opts.verbose) {
        std::fprintf(stderr, "zkdevice: ready with %zu device(s)\n", sim.opts.devices.size());
    }
}

void run(simulator& sim, const sigset_t& wait_mask) {
    while (!stop_requested) {
        timespec wait{};
        timespec* timeout = nullptr;
        if (!sim.queue.empty()) {
            const auto left = std::max(sim.queue.begin()->first - mono_clock::now(),
                                       mono_clock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            wait.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            timeout = &wait;
        }
        pollfd watched{sim.listener.fd, POLLIN, 0};
        // The stop signals are blocked except inside ppoll, so a signal
        // can't slip in between the flag test and the wait.
        const int ready = ::ppoll(&watched, 1, timeout, &wait_mask);
        if (ready < 0 && errno != EINTR) die(std::string("poll failed: ") + std::strerror(errno));
        if (ready > 0) receive_all(sim);
        send_due(sim);
    }
    // A request that arrived together with the stop signal still belongs
    // in the log the tests compare.
    receive_all(sim);
}

void close_log(simulator& sim) {
    std::fflush(sim.log);
    if (sim.log != stdout) std::fclose(sim.log);
}

}  // namespace sim
