// zkdevice's event loop: one thread serves every device through a poll
// loop on the request socket plus a queue of pending sends ordered by due
// time.
#pragma once

#include <signal.h>

#include "simulator.h"

namespace sim {

// Blocks SIGINT and SIGTERM and makes them end the loop; returns the mask
// that lets them in while the loop waits.
sigset_t catch_stop_signals();

// Opens the log named by the options, if any; dies if it can't.
void open_log(simulator& sim);

// Writes the ready file (holding the pid) if one was asked for.
void announce_ready(const simulator& sim);

// Serves requests until a stop signal arrives.
void run(simulator& sim, const sigset_t& wait_mask);

void close_log(simulator& sim);

}  // namespace sim
