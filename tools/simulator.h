// zkdevice's state while it runs: the options, its sockets, the datagrams
// waiting for their time and the draws of --loss.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "command_line.h"
#include "exchange.h"
#include "loss.h"

namespace sim {

using mono_clock = std::chrono::steady_clock;

// A datagram waiting for its time, or with --move a device that then takes
// the address of its settings (after its confirmation, queued before it).
struct pending_send {
    in_addr_t from = 0;
    sockaddr_in to{};
    std::string payload;
    std::optional<std::size_t> settle;  // the device's number; no datagram
};

// Pending sends by due time; a multimap keeps sends that fall due together
// in the order they were queued, which fixes the order replies arrive in.
using send_queue = std::multimap<mono_clock::time_point, pending_send>;

// With --move, an address of this host that devices answer from.
struct host_address {
    in_addr_t addr = 0;
    int prefix = 32;
    int ifindex = 0;
    int users = 0;  // the devices that answer from it
};

struct simulator {
    options opts;
    socket_fd listener;
    std::vector<socket_fd> held;
    std::map<in_addr_t, socket_fd> senders;  // one socket per local address we send from
    // --move: the route netlink socket that changes this host's addresses,
    // and the addresses the devices answer from, by address.
    socket_fd netlink;
    std::unordered_map<in_addr_t, host_address> addresses;
    // Devices that act on set messages, in their order, by the MAC a
    // message names, so a burst for a fleet finds each at once.
    std::unordered_map<std::string, std::vector<std::size_t>> by_hw;
    send_queue queue;
    loss_draws loss;
    std::FILE* log = stdout;
};

}  // namespace sim
