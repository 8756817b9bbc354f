// The datagram exchange with the devices: one text request broadcast to the
// device port, then every datagram arriving on the reply port handed to a
// reply handler until it has what it waited for or the time-out passes.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

constexpr in_port_t device_port = 65001;
constexpr in_port_t reply_port = 65002;

// A handler sees at most this many payload bytes of a datagram.
constexpr std::size_t max_payload = 511;

// zkdetect's bound of a whole receive, counted from its first wait.
constexpr std::chrono::milliseconds receive_timeout{3000};

// Reply sockets sharing the reply port on the address that replies come
// back to. Each has a receive buffer of its own, so the group queues this
// many times what the system grants one socket without privilege. With the
// stock limit, 8 still lost replies of a burst of 50,000 in 2 of 5 scans on
// a 2-core machine, 16 in none (bench/run).
constexpr std::size_t reply_group_size = 16;

// Called once per datagram with the sender's address (network byte order)
// and the payload as a writable, zero-terminated text that is valid only
// during the call. Returns true to stop listening. Any callable will do: a
// function such as device_found, or a lambda carrying the state it needs.
using reply_handler = std::function<bool(in_addr_t addr, char* text)>;

// Owns a socket descriptor and closes it when destroyed.
struct socket_fd {
    int fd = -1;

    socket_fd() = default;
    explicit socket_fd(int f) : fd(f) {}
    socket_fd(socket_fd&& other) noexcept : fd(other.fd) { other.fd = -1; }
    socket_fd& operator=(socket_fd&& other) noexcept;
    socket_fd(const socket_fd&) = delete;
    socket_fd& operator=(const socket_fd&) = delete;
    ~socket_fd();

    bool valid() const { return fd >= 0; }
};

// The sockets of one exchange: a request socket per source, bound to it and
// connected to the destination's device port, and the reply sockets: one on
// any local address (broadcasts, other local addresses) plus a group on the
// address each request leaves from, where unicast replies spread over it.
struct exchange_sockets {
    std::vector<socket_fd> requests;  // in the order of the sources
    std::vector<in_addr_t> locals;    // per source, the address devices answer to
    std::vector<socket_fd> replies;
};

enum class exchange_status { done, listen_failed, send_failed };

// Opens the sockets of an exchange from source to destination; sends
// nothing. The reply group gets as many sockets as can be opened, none when
// descriptors run short. listen_failed: another program holds the reply
// port, or not even the wildcard reply socket could be set up.
// send_failed: the request socket could not be bound to source or routed
// to destination.
exchange_status open_exchange(in_addr_t source, in_addr_t destination, exchange_sockets& ex);

// Where the requests of an exchange leave from: a local address (or any),
// and the interface they must leave by (0: the one the system routes to).
struct exchange_source {
    in_addr_t addr = htonl(INADDR_ANY);
    int ifindex = 0;
};

// The same from several sources at once, a reply group on each source's
// address. With arrivals set, each datagram tells where it came in (see
// arrival).
exchange_status open_exchange(const std::vector<exchange_source>& sources, in_addr_t destination,
                              bool arrivals, exchange_sockets& ex);

// Sends text (without its terminator) as one datagram on the request socket
// of the first source, or of the given one. Returns 0 on success, -1 on any
// failure.
int send_request(const exchange_sockets& ex, const char* text);
int send_request(const exchange_sockets& ex, std::size_t source, const char* text);

struct receive_result {
    // Replies the system dropped because a receive buffer was full, since
    // the sockets were opened: a later receive on them counts these again.
    unsigned long dropped = 0;
    bool stopped = false;  // the handler asked to stop
    // The errno of a wait or read that failed and ended the receive before
    // its bound, 0 when none did: what was read is handed over, but what
    // came after is missing.
    int error = 0;
};

// How a warning tells what a full receive buffer dropped: "1 reply lost
// (receive buffer full)", "2 replies lost (...)".
std::string replies_lost(unsigned long dropped);

// Hands every datagram arriving on ex's reply sockets to handler, one at a
// time and in order of arrival, until handler returns true or the receive
// ends: bound passed since it began (what was queued by then is still
// handed over) or a wait or read failed. What arrives later stays queued
// for the next receive on the same sockets.
receive_result receiver(const exchange_sockets& ex, const reply_handler& handler,
                        std::chrono::milliseconds bound);

// Where a datagram came in: its sender, the local address it was sent to (a
// broadcast address, or one of this host's) and the interface it arrived
// on; to and ifindex are 0 unless the exchange was opened with arrivals.
struct arrival {
    in_addr_t from = 0;
    in_addr_t to = 0;
    int ifindex = 0;
};
using arrival_handler = std::function<bool(const arrival& where, char* text)>;

// Another descriptor that a receive also waits for, such as a server's, so
// that it is served while the receive waits: serve runs between two rounds
// whenever fd is readable or the time-out that timeout() gives (negative:
// none) has passed, and the receive goes on.
struct side_wait {
    int fd = -1;
    std::function<std::chrono::milliseconds()> timeout;
    std::function<void()> serve;
};

// receiver, for a handler that is told where each datagram came in; side,
// when given, is served during the waits.
receive_result receive_arrivals(const exchange_sockets& ex, const arrival_handler& handler,
                                std::chrono::milliseconds bound, const side_wait* side = nullptr);

// The whole pattern: listen first (so no early reply is lost), send, then
// receive for at most bound. Nothing is sent when the reply sockets can't
// be set up. *received, when given, gets what the receive reported.
exchange_status exchange(in_addr_t source, in_addr_t destination, const char* text,
                         const reply_handler& handler, std::chrono::milliseconds bound,
                         receive_result* received = nullptr);
