// The receive: every reply socket emptied into memory each round, so that
// slow output never backs up the system's queues, and the datagrams handed
// over in order of arrival across the sockets.
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <deque>
#include <iterator>
#include <limits>
#include <memory>
#include <thread>

#include "exchange.h"

namespace {

using nanoseconds = std::int64_t;

nanoseconds realtime_now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<nanoseconds>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The system stamps a datagram on arrival, a moment before it reaches its
// socket's queue. A round hands over only datagrams stamped this long
// before the moment up to which it has read every socket, so one still on
// its way to another socket of the set can't be overtaken by a later one.
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
    nanoseconds stamp;  // when the system received it
    in_addr_t from;
    in_addr_t to;  // with the interface, only where the socket tells them
    int ifindex;
    std::uint16_t len;
    std::unique_ptr<char[]> text;
};

struct reply_queue {
    int fd = -1;
    std::deque<queued> backlog;  // oldest first
    std::uint32_t drops = 0;     // the socket's drop count, as last reported
};

// The buffers of one recvmmsg call, set up once per receive.
struct read_batch {
    static constexpr unsigned size = 64;
    static constexpr std::size_t control_size = CMSG_SPACE(sizeof(timespec)) +
                                                CMSG_SPACE(sizeof(std::uint32_t)) +
                                                CMSG_SPACE(sizeof(in_pktinfo));
    char bufs[size][max_payload] = {};
    alignas(cmsghdr) char control[size][control_size] = {};
    iovec iov[size] = {};
    mmsghdr msgs[size] = {};
    sockaddr_in from[size] = {};

    // Ready for the next call: the system overwrote the lengths. Every
    // field it reads is set here; the rest it only writes.
    void reset() {
        for (unsigned i = 0; i < size; ++i) {
            iov[i] = {bufs[i], max_payload};
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
        // Without waiting, so no signal can interrupt it.
        const int got = recvmmsg(q.fd, b.msgs, batch, MSG_DONTWAIT, nullptr);
        if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
        for (int i = 0; i < got; ++i) {
            queued item{};
            for (cmsghdr* c = CMSG_FIRSTHDR(&b.msgs[i].msg_hdr); c;
                 c = CMSG_NXTHDR(&b.msgs[i].msg_hdr, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info{};
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    item.to = info.ipi_addr.s_addr;
                    item.ifindex = info.ipi_ifindex;
                }
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
            item.from = b.from[i].sin_addr.s_addr;
            // A longer datagram was cut at max_payload bytes.
            item.len = static_cast<std::uint16_t>(b.msgs[i].msg_len);
            item.text = std::make_unique_for_overwrite<char[]>(item.len);
            std::memcpy(item.text.get(), b.bufs[i], item.len);
            // Stamped on arrival, a datagram may still reach its socket after
            // a later one: each processor passes on its own arrivals. Kept in
            // the order of the stamps, so that the merge takes the oldest.
            auto at = q.backlog.end();
            while (at != q.backlog.begin() && std::prev(at)->stamp > item.stamp) --at;
            q.backlog.insert(at, std::move(item));
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
    int error = 0;         // errno of a wait or read that failed
    std::size_t read = 0;  // datagrams read so far
};

// Reads the sockets that the last wait found readable, or all of them.
void read_sockets(reply_set& set, bool all) {
    for (std::size_t i = 0; i < set.queues.size(); ++i) {
        if (set.watched[i].revents == 0 && !all) continue;
        const std::size_t before = set.queues[i].backlog.size();
        // The first failure is the one to report.
        if (!drain(set.queues[i], *set.batch) && set.error == 0) set.error = errno;
        set.read += set.queues[i].backlog.size() - before;
    }
}

// Hands the datagrams stamped no later than cutoff to handler, oldest
// first, freeing each. When keep_reading is set and slow output holds it
// up, it reads the sockets again each round_pace, so that their queues
// don't fill meanwhile. Returns true when the handler asked to stop.
bool hand_over(reply_set& set, nanoseconds cutoff, const arrival_handler& handler,
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
        if (handler(arrival{next.from, next.to, next.ifindex}, text)) return true;
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
    return receive_arrivals(
        ex, [&](const arrival& where, char* text) { return handler(where.from, text); }, bound);
}

receive_result receive_arrivals(const exchange_sockets& ex, const arrival_handler& handler,
                                std::chrono::milliseconds bound, const side_wait* side) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + bound;
    receive_result result;

    reply_set set;
    for (const socket_fd& sock : ex.replies) {
        set.queues.push_back(reply_queue{sock.fd, {}, 0});
        // Marked readable, so that the first round reads every socket.
        set.watched.push_back(pollfd{sock.fd, POLLIN, POLLIN});
    }
    // The side's descriptor comes last, after the queues' own.
    if (side) set.watched.push_back(pollfd{side->fd, POLLIN, 0});

    // Each round first empties every socket into memory, so that slow
    // output never backs up the system's queues, then hands over what has
    // settled. What is queued when the deadline passes arrived in time: the
    // last round reads it all and hands everything over, and reads no more.
    // The first round reads every socket; a later one only those that the
    // wait found readable, so what reached another one after the wait began
    // waits for the next round, however long the process was held up since.
    nanoseconds wait_began = std::numeric_limits<nanoseconds>::max();
    for (;;) {
        const auto round_began = clock::now();
        const bool last = set.error != 0 || round_began >= deadline;
        // Everything that had reached a socket by then is read this round.
        const nanoseconds all_read_from = std::min(realtime_now(), wait_began);
        const std::size_t read_before = set.read;
        read_sockets(set, last);
        // After a failed read, one last round hands over what was read.
        if (set.error != 0 && !last) continue;
        const nanoseconds cutoff =
            last ? std::numeric_limits<nanoseconds>::max() : all_read_from - settle_ns;
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
        auto side_due = clock::time_point::max();
        if (side) {
            const std::chrono::milliseconds wait = side->timeout();
            if (wait.count() >= 0) {
                timeout = std::min<std::int64_t>(timeout, wait.count());
                side_due = clock::now() + wait;
            }
        }
        wait_began = realtime_now();
        const int ready = poll(set.watched.data(), set.watched.size(), static_cast<int>(timeout));
        if (ready < 0 && errno != EINTR) set.error = errno;
        if (side && (set.watched.back().revents != 0 || clock::now() >= side_due)) side->serve();
    }
    result.dropped = dropped(set.queues);
    result.error = set.error;
    return result;
}
