#include "signals.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

volatile sig_atomic_t caught = 0;

void remember(int sig) { caught = sig; }

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = remember;
    sigemptyset(&action.sa_mask);
    for (const int sig : stop_signals) sigaction(sig, &action, nullptr);
}

int stop_signal() { return caught; }

bool wait_unless_stopped(std::chrono::steady_clock::time_point until, int fd) {
    // Blocked while the flag is read and let through only within ppoll, a
    // stop signal can't slip in between the two and go unnoticed.
    sigset_t stops{};
    sigset_t others{};
    sigemptyset(&stops);
    for (const int sig : stop_signals) sigaddset(&stops, sig);
    sigprocmask(SIG_BLOCK, &stops, &others);
    for (;;) {
        const auto left = until - std::chrono::steady_clock::now();
        if (caught != 0 || left <= left.zero()) break;
        const auto s = std::chrono::floor<std::chrono::seconds>(left);
        const timespec wait{static_cast<time_t>(s.count()),
                            static_cast<long>(std::chrono::nanoseconds(left - s).count())};
        pollfd watched{fd, POLLIN, 0};
        if (ppoll(&watched, fd >= 0 ? 1 : 0, &wait, &others) > 0) break;
    }
    sigprocmask(SIG_SETMASK, &others, nullptr);
    return caught == 0;
}

void end_by_signal(int sig) {
    std::fflush(nullptr);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
    sigset_t only{};
    sigemptyset(&only);
    sigaddset(&only, sig);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig);
    // A signal whose default action does not end the process can't be one
    // of the stop signals; the status says which it was all the same.
    std::_Exit(128 + sig);
}
