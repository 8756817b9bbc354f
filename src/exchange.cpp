#include "exchange.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/sock_diag.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <deque>
#include <limits>
#include <memory>
#include <thread>

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
socket_fd reply_socket(in_addr_t addr) {
    socket_fd sock = udp_socket();
    if (!sock.valid() || !enable(sock, SO_REUSEPORT)) return {};
    enlarge_receive_buffer(sock);
    enable(sock, SO_TIMESTAMPNS);
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
// device port; invalid when either fails.
socket_fd request_socket(in_addr_t source, in_addr_t destination) {
    socket_fd sock = udp_socket();
    if (!sock.valid() || !enable(sock, SO_BROADCAST) || !bind_to(sock, source, 0)) return {};
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

}  // namespace

exchange_status open_exchange(in_addr_t source, in_addr_t destination, exchange_sockets& ex) {
    ex.replies.clear();
    if (!reply_port_free()) return exchange_status::listen_failed;
    ex.request = request_socket(source, destination);
    if (!ex.request.valid()) return exchange_status::send_failed;

    // A broadcast reaches every socket on the wildcard address, so there is
    // exactly one; unicast replies go to the group on the reply address.
    ex.replies.push_back(reply_socket(htonl(INADDR_ANY)));
    const in_addr_t local = reply_address(ex.request, destination);
    if (local != htonl(INADDR_ANY)) {
        for (std::size_t i = 0; i < reply_group_size; ++i)
            ex.replies.push_back(reply_socket(local));
    }
    for (const socket_fd& sock : ex.replies) {
        if (!sock.valid()) {
            ex.replies.clear();
            return exchange_status::listen_failed;
        }
    }
    return exchange_status::done;
}

int send_request(const exchange_sockets& ex, const char* text) {
    const std::size_t len = std::strlen(text);
    const ssize_t sent = send(ex.request.fd, text, len, 0);
    if (sent < 0 || static_cast<std::size_t>(sent) != len) return -1;
    return 0;
}

namespace {

using nanoseconds = std::int64_t;

nanoseconds realtime_now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<nanoseconds>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The system stamps a datagram on arrival, a moment before it reaches its
// socket's queue. Only datagrams stamped this long before a round began are
// handed over in that round, so one still on its way to another socket of
// the set can't be overtaken by a later one.
constexpr nanoseconds settle_ns = 10'000'000;

// A round reads at most this many datagrams from one socket, so that a
// flood can't hold a round (and with it the deadline) open.
constexpr std::size_t round_limit = 16384;

// In a burst every wait ends at once, with a datagram or two per socket, and
// reading them costs a system call each. A round that read something lasts
// at least this long, so each read takes a batch; the buffers hold many
// times what arrives meanwhile.
constexpr auto round_pace = std::chrono::microseconds(500);

// A datagram read but not yet handed over: its payload and a small header.
struct queued {
    nanoseconds stamp = 0;
    in_addr_t from = 0;
    std::uint16_t len = 0;
    std::unique_ptr<char[]> text;
};

struct reply_queue {
    int fd = -1;
    std::deque<queued> backlog;  // in the order the socket delivered them
    std::uint32_t drops = 0;     // the socket's drop count, as last reported
};

// The buffers of one recvmmsg call, set up once per receive.
struct read_batch {
    static constexpr unsigned size = 64;
    static constexpr std::size_t control_size =
        CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(sizeof(std::uint32_t));
    char bufs[size][max_payload] = {};
    alignas(cmsghdr) char control[size][control_size] = {};
    iovec iov[size] = {};
    mmsghdr msgs[size] = {};
    sockaddr_in from[size] = {};

    // Ready for the next call: the system overwrote the lengths.
    void reset() {
        for (unsigned i = 0; i < size; ++i) {
            iov[i] = {bufs[i], max_payload};
            msgs[i] = {};
            msgs[i].msg_hdr.msg_name = &from[i];
            msgs[i].msg_hdr.msg_namelen = sizeof from[i];
            msgs[i].msg_hdr.msg_iov = &iov[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
            msgs[i].msg_hdr.msg_control = control[i];
            msgs[i].msg_hdr.msg_controllen = control_size;
        }
    }
};

// Reads what is queued on q's socket into its backlog. Returns false when a
// read failed.
bool drain(reply_queue& q, read_batch& b) {
    constexpr unsigned batch = read_batch::size;
    std::size_t taken = 0;
    while (taken < round_limit) {
        b.reset();
        const int got = recvmmsg(q.fd, b.msgs, batch, MSG_DONTWAIT, nullptr);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        for (int i = 0; i < got; ++i) {
            queued item;
            item.stamp = -1;
            for (cmsghdr* c = CMSG_FIRSTHDR(&b.msgs[i].msg_hdr); c;
                 c = CMSG_NXTHDR(&b.msgs[i].msg_hdr, c)) {
                if (c->cmsg_level != SOL_SOCKET) continue;
                if (c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec ts{};
                    std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                    item.stamp = static_cast<nanoseconds>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
                } else if (c->cmsg_type == SO_RXQ_OVFL) {
                    std::uint32_t drops = 0;
                    std::memcpy(&drops, CMSG_DATA(c), sizeof drops);
                    q.drops = std::max(q.drops, drops);
                }
            }
            if (item.stamp < 0) item.stamp = realtime_now();
            item.from = b.from[i].sin_addr.s_addr;
            // A longer datagram was cut at max_payload bytes.
            item.len = static_cast<std::uint16_t>(b.msgs[i].msg_len);
            item.text = std::make_unique_for_overwrite<char[]>(item.len);
            std::memcpy(item.text.get(), b.bufs[i], item.len);
            q.backlog.push_back(std::move(item));
        }
        taken += static_cast<std::size_t>(got);
        if (static_cast<unsigned>(got) < batch) break;
    }
    return true;
}

// The queue whose next datagram is the oldest, or nullptr when all are
// empty.
reply_queue* oldest(std::deque<reply_queue>& queues) {
    reply_queue* best = nullptr;
    for (reply_queue& q : queues) {
        if (!q.backlog.empty() &&
            (!best || q.backlog.front().stamp < best->backlog.front().stamp)) {
            best = &q;
        }
    }
    return best;
}

// The reply sockets of a receive with what was read from them.
struct reply_set {
    std::deque<reply_queue> queues;
    std::vector<pollfd> watched;  // revents: readable at the last wait
    std::unique_ptr<read_batch> batch = std::make_unique<read_batch>();
    bool failed = false;   // a wait or read failed
    std::size_t read = 0;  // datagrams read so far
};

// Reads the sockets that the last wait found readable, or all of them.
void read_sockets(reply_set& set, bool all) {
    for (std::size_t i = 0; i < set.queues.size(); ++i) {
        if (set.watched[i].revents == 0 && !all) continue;
        const std::size_t before = set.queues[i].backlog.size();
        if (!drain(set.queues[i], *set.batch)) set.failed = true;
        set.read += set.queues[i].backlog.size() - before;
    }
}

// Hands the datagrams stamped no later than cutoff to handler, oldest
// first, freeing each. When keep_reading is set and slow output holds it
// up, it reads the sockets again each round_pace, so that their queues
// don't fill meanwhile. Returns true when the handler asked to stop.
bool hand_over(reply_set& set, nanoseconds cutoff, const reply_handler& handler,
               bool keep_reading) {
    using clock = std::chrono::steady_clock;
    constexpr unsigned check_every = 16;
    auto next_read = clock::now() + round_pace;
    char text[max_payload + 1];
    unsigned handed = 0;
    for (reply_queue* q = oldest(set.queues); q && q->backlog.front().stamp <= cutoff;
         q = oldest(set.queues)) {
        const queued next = std::move(q->backlog.front());
        q->backlog.pop_front();
        // A zero byte inside ends the text early, which is what the handler
        // sees.
        std::memcpy(text, next.text.get(), next.len);
        text[next.len] = '\0';
        if (handler(next.from, text)) return true;
        if (keep_reading && ++handed % check_every == 0 && clock::now() >= next_read) {
            next_read = clock::now() + round_pace;
            if (poll(set.watched.data(), set.watched.size(), 0) > 0) read_sockets(set, false);
        }
    }
    return false;
}

// What the sockets' full buffers dropped. The count in a read's ancillary
// data misses drops after the last datagram queued, so the socket's own
// count is asked for too.
unsigned long dropped(const std::deque<reply_queue>& queues) {
    unsigned long total = 0;
    for (const reply_queue& q : queues) {
        std::uint32_t info[SK_MEMINFO_VARS] = {};
        socklen_t len = sizeof info;
        std::uint32_t drops = q.drops;
        if (getsockopt(q.fd, SOL_SOCKET, SO_MEMINFO, info, &len) == 0 &&
            len > SK_MEMINFO_DROPS * sizeof info[0]) {
            drops = std::max(drops, info[SK_MEMINFO_DROPS]);
        }
        total += drops;
    }
    return total;
}

}  // namespace

receive_result receiver(const exchange_sockets& ex, const reply_handler& handler,
                        std::chrono::milliseconds bound) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + bound;
    receive_result result;

    reply_set set;
    for (const socket_fd& sock : ex.replies) {
        set.queues.push_back(reply_queue{sock.fd, {}, 0});
        // Marked readable, so that the first round reads every socket.
        set.watched.push_back(pollfd{sock.fd, POLLIN, POLLIN});
    }

    // Each round first empties every socket into memory, so that slow
    // output never backs up the system's queues, then hands over what has
    // settled. What is queued when the deadline passes arrived in time: the
    // last round reads it all and hands everything over, and reads no more.
    for (;;) {
        const auto round_began = clock::now();
        const bool last = set.failed || round_began >= deadline;
        const nanoseconds round_start = realtime_now();
        const std::size_t read_before = set.read;
        // A socket that the wait did not find readable got its datagrams
        // after the round began, so they wait for the next round.
        read_sockets(set, last);
        // After a failed read, one last round hands over what was read.
        if (set.failed && !last) continue;
        const nanoseconds cutoff =
            last ? std::numeric_limits<nanoseconds>::max() : round_start - settle_ns;
        result.stopped = hand_over(set, cutoff, handler, !last);
        if (result.stopped || last) break;
        if (set.read != read_before) {
            const auto until = std::min(round_began + round_pace, deadline);
            if (until > clock::now()) std::this_thread::sleep_until(until);
        }

        // Wait for the next datagram, the deadline, or the moment the oldest
        // datagram held back has settled; rounded up, so no busy wait.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now());
        auto timeout = std::max<std::int64_t>(left.count(), 0);
        if (const reply_queue* q = oldest(set.queues)) {
            const nanoseconds due = q->backlog.front().stamp + settle_ns - realtime_now();
            timeout =
                std::min<std::int64_t>(timeout, std::max<nanoseconds>(due / 1'000'000 + 1, 1));
        }
        const int ready = poll(set.watched.data(), set.watched.size(), static_cast<int>(timeout));
        if (ready < 0 && errno != EINTR) set.failed = true;
    }
    result.dropped = dropped(set.queues);
    return result;
}

exchange_status exchange(in_addr_t source, in_addr_t destination, const char* text,
                         const reply_handler& handler, std::chrono::milliseconds bound,
                         unsigned long* lost) {
    exchange_sockets ex;
    const exchange_status opened = open_exchange(source, destination, ex);
    if (opened != exchange_status::done) return opened;
    if (send_request(ex, text) != 0) return exchange_status::send_failed;
    const receive_result received = receiver(ex, handler, bound);
    if (lost) *lost = received.dropped;
    return exchange_status::done;
}
