// zkdevice's state while it runs: the options, its sockets, the datagrams
// waiting for their time and the draws of --loss.
#pragma once

#include <netinet/in.h>

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

}  // namespace sim
