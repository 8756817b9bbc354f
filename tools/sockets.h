// zkdevice's sockets: the request socket, the held ports, one sending
// socket per address a device sends from, and the sends, at once or queued
// for their time.
#pragma once

#include <netinet/in.h>

#include <string>

#include "simulator.h"

namespace sim {

constexpr in_port_t request_port = 65001;
constexpr in_port_t answer_port = 65002;

std::string address_text(in_addr_t addr);

// Binds the request socket, the held ports and one sending socket per
// address a device sends from; dies naming the address that fails, since a
// test whose device can't answer would fail for the wrong reason.
void open_sockets(simulator& sim);

// Binds a sending socket on local address addr unless there is one; with
// broadcast, it may send to a broadcast address.
void need_sender(simulator& sim, in_addr_t addr, bool broadcast);

// Sends payload from the local address from (one of the devices' own) now;
// a failure is reported on standard error and the datagram dropped, and so,
// silently, is one from an address that its device has left (--move).
void send_now(const simulator& sim, in_addr_t from, const sockaddr_in& to,
              const std::string& payload);

// Queues payload to be sent at when.
void queue_send(simulator& sim, mono_clock::time_point when, in_addr_t from, const sockaddr_in& to,
                std::string payload);

// Queues device number i's move to the address of its settings (--move) at
// when, after whatever is queued for then already.
void queue_settle(simulator& sim, mono_clock::time_point when, std::size_t i);

// Sends every queued datagram that is due, and makes the due moves.
void send_due(simulator& sim);

}  // namespace sim
