#include "exchange.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

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

// Thousands of devices answer the same broadcast within milliseconds; the
// default buffer holds only a few hundred replies. 32 MiB (the kernel
// accounts twice that) queues a burst of 50,000 even when the process gets
// no CPU until it ends. Force past the system limit where privileged, and
// take what is granted otherwise.
void enlarge_receive_buffer(int fd) {
    const int want = 32 << 20;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want) == 0) return;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
}

}  // namespace

socket_fd open_listener() {
    socket_fd sock(socket(AF_INET, SOCK_DGRAM, 0));
    if (!sock.valid()) return sock;
    enlarge_receive_buffer(sock.fd);
    const sockaddr_in sa = ipv4(htonl(INADDR_ANY), reply_port);
    if (bind(sock.fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return {};
    return sock;
}

int send_request(in_addr_t source, in_addr_t destination, const char* text) {
    const std::size_t len = std::strlen(text);
    socket_fd sock(socket(AF_INET, SOCK_DGRAM, 0));
    if (!sock.valid()) return -1;
    const int on = 1;
    setsockopt(sock.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const sockaddr_in from = ipv4(source, 0);
    if (bind(sock.fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) return -1;
    const sockaddr_in to = ipv4(destination, device_port);
    const ssize_t sent =
        sendto(sock.fd, text, len, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent < 0 || static_cast<std::size_t>(sent) != len) return -1;
    return 0;
}

void receiver(const socket_fd& listener, reply_handler handler) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(receive_timeout_ms);

    // Datagrams are drained in batches, one system call for many, so that a
    // burst of replies is read faster than it arrives.
    constexpr unsigned batch = 64;
    char bufs[batch][max_payload + 1];
    iovec iov[batch];
    mmsghdr msgs[batch];
    sockaddr_in from[batch];

    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0) return;

        for (unsigned i = 0; i < batch; ++i) {
            iov[i] = {bufs[i], max_payload};
            msgs[i] = {};
            msgs[i].msg_hdr.msg_name = &from[i];
            msgs[i].msg_hdr.msg_namelen = sizeof from[i];
            msgs[i].msg_hdr.msg_iov = &iov[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
        }
        const int got = recvmmsg(listener.fd, msgs, batch, MSG_DONTWAIT, nullptr);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return;
            // Nothing ready: wait for the next datagram with the time left.
            pollfd pfd{listener.fd, POLLIN, 0};
            const int ready = poll(&pfd, 1, static_cast<int>(left));
            if (ready == 0) return;
            if (ready < 0 && errno != EINTR) return;
            continue;
        }
        for (int i = 0; i < got; ++i) {
            // A longer datagram was cut at max_payload bytes; a zero byte
            // inside ends the text early, which is what the handler sees.
            bufs[i][msgs[i].msg_len] = '\0';
            if (handler(from[i].sin_addr.s_addr, bufs[i])) return;
        }
    }
}

exchange_status exchange(in_addr_t source, in_addr_t destination, const char* text,
                         reply_handler handler) {
    const socket_fd listener = open_listener();
    if (!listener.valid()) return exchange_status::listen_failed;
    if (send_request(source, destination, text) != 0) return exchange_status::send_failed;
    receiver(listener, handler);
    return exchange_status::done;
}
