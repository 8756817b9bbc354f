#include "signals.h"

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
