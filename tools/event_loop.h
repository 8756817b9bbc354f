// zkdevice's event loop: one thread serves every device through a poll
// loop on the request socket plus a queue of pending sends ordered by due
// time.
#pragma once

#include <netinet/in.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "command_line.h"
#include "exchange.h"
#include "loss.h"

namespace sim {

using mono_clock = std::chrono::steady_clock;

// A datagram waiting for its time.
struct pending_send {
    in_addr_t from = 0;
    sockaddr_in to{};
    std::string payload;
};

// Pending sends by due time; a multimap keeps sends that fall due together
// in the order they were queued, which fixes the order replies arrive in.
using send_queue = std::multimap<mono_clock::time_point, pending_send>;

struct simulator {
    options opts;
    socket_fd listener;
    std::vector<socket_fd> held;
    std::map<in_addr_t, socket_fd> senders;  // one socket per local address we send from
    // Devices that act on set messages, in their order, by the MAC a
    // message names, so a burst for a fleet finds each at once.
    std::unordered_map<std::string, std::vector<std::size_t>> by_hw;
    send_queue queue;
    loss_draws loss;
    std::FILE* log = stdout;
};

// Blocks SIGINT and SIGTERM and makes them end the loop; returns the mask
// that lets them in while the loop waits.
sigset_t catch_stop_signals();

// Opens the log named by the options, if any; dies if it can't.
void open_log(simulator& sim);

// Binds the request socket, the held ports and one sending socket per
// address a device sends from; dies naming the address that fails, since a
// test whose device can't answer would fail for the wrong reason.
void open_sockets(simulator& sim);

// Writes the ready file (holding the pid) if one was asked for.
void announce_ready(const simulator& sim);

// Serves requests until a stop signal arrives.
void run(simulator& sim, const sigset_t& wait_mask);

void close_log(simulator& sim);

}  // namespace sim
