// The datagram exchange with the devices: one text request broadcast to the
// device port, then every datagram arriving on the reply port handed to a
// reply handler until it has what it waited for or the time-out passes.
#pragma once

#include <netinet/in.h>

#include <cstddef>

constexpr in_port_t device_port = 65001;
constexpr in_port_t reply_port = 65002;

// A handler sees at most this many payload bytes of a datagram.
constexpr std::size_t max_payload = 511;

// Bound of a whole receive, counted from its first wait.
constexpr int receive_timeout_ms = 3000;

// Called once per datagram with the sender's address (network byte order)
// and the payload as a writable, zero-terminated text that is valid only
// during the call. Returns true to stop listening.
using reply_handler = bool (*)(in_addr_t addr, char* text);

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

// Opens the reply socket: any local address, the reply port, no address
// reuse (so it fails while another program holds the port). Returns an
// invalid owner on failure.
socket_fd open_listener();

// Sends text (without its terminator) as one datagram from source to
// destination, device port. Returns 0 on success, -1 on any failure.
int send_request(in_addr_t source, in_addr_t destination, const char* text);

// Hands every datagram arriving on listener to handler, in order of
// arrival, until handler returns true, the receive's time-out passes, or a
// read fails.
void receiver(const socket_fd& listener, reply_handler handler);

enum class exchange_status { done, listen_failed, send_failed };

// The whole pattern: listen first (so no early reply is lost), send, then
// receive. Nothing is sent when the reply socket can't be set up.
exchange_status exchange(in_addr_t source, in_addr_t destination, const char* text,
                         reply_handler handler);
