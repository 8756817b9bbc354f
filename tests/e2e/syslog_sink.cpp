// Stands in for the system log daemon in end-to-end cases: binds an AF_UNIX
// datagram socket at PATH, as /dev/log is, and writes every datagram that
// arrives to standard output as one line, escaped as zkdevice's log is
// (\r \n \t \\ \0 \xHH), so that a record that would break a log line
// shows. SIGTERM or SIGINT makes it write what is still queued and end with
// 0, so a check that stops it and waits has every datagram sent before.
//
// Usage: syslog_sink PATH
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "device_model.h"

namespace {

volatile sig_atomic_t stop = 0;

void on_stop(int) { stop = 1; }

void write_line(const char* data, std::size_t size) {
    const std::string line = sim::escaped(std::string_view(data, size)) + '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

// Writes every datagram until a stop signal, then those still queued;
// false when a read or the wait fails.
bool receive_all(int fd, const sigset_t& wait_mask) {
    static char buffer[1 << 16];
    for (;;) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got >= 0) {
            write_line(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (stop) return true;
        pollfd watched{fd, POLLIN, 0};
        if (ppoll(&watched, 1, nullptr, &wait_mask) < 0 && errno != EINTR) return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    if (argc != 2 || std::strlen(argv[1]) >= sizeof where.sun_path) {
        std::fputs("usage: syslog_sink PATH (shorter than 108 bytes)\n", stderr);
        return 2;
    }
    std::strcpy(where.sun_path, argv[1]);
    // The stop signals get in only while it waits, so none is missed
    // between the test of the flag and the wait.
    sigset_t stop_signals;
    sigset_t wait_mask;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    sigprocmask(SIG_BLOCK, &stop_signals, &wait_mask);
    struct sigaction action {};
    action.sa_handler = on_stop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        std::fprintf(stderr, "syslog_sink: cannot bind %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    if (!receive_all(fd, wait_mask)) {
        std::fprintf(stderr, "syslog_sink: receive failed: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
