#include "event_loop.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "answers.h"
#include "device_model.h"
#include "sockets.h"

namespace sim {

namespace {

volatile sig_atomic_t stop_requested = 0;

void on_stop_signal(int) { stop_requested = 1; }

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
