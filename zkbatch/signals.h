// The signals that end a run early: SIGINT, SIGTERM and SIGHUP. They are
// caught and remembered, so that the run stops starting new work, writes
// down what it did, and then ends by the very signal, as dpkg and apt do.
#pragma once

#include <chrono>

// Catches the stop signals from now on. A system call that waits (a
// receive, a read of standard input, a sleep) then returns early, since
// none is restarted.
void catch_stop_signals();

// The stop signal that came, or 0 while none did.
int stop_signal();

// Waits until the time comes or a stop signal does, whichever is first, or
// until descriptor fd (when given) is readable; false when a stop signal
// came, also one that came before the call.
bool wait_unless_stopped(std::chrono::steady_clock::time_point until, int fd = -1);

// Ends the process by signal sig, with its default action, so that the
// shell sees 128 + sig.
[[noreturn]] void end_by_signal(int sig);
