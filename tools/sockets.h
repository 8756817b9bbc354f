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

// Sends payload from the local address from (one of the devices' own) now;
// a failure is reported on standard error and the datagram dropped.
void send_now(const simulator& sim, in_addr_t from, const sockaddr_in& to,
              const std::string& payload);

// Queues payload to be sent at when.
void queue_send(simulator& sim, mono_clock::time_point when, in_addr_t from, const sockaddr_in& to,
                std::string payload);

// Sends every queued datagram that is due.
void send_due(simulator& sim);

}  // namespace sim
