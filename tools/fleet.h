// Fleets of simulated devices for zkbatch's tests and benchmark, and the
// settings every device holds at the end of a run.
#pragma once

#include <string>
#include <vector>

#include "device_model.h"

namespace sim {

// The most devices one --fleet makes: they must fit in 198.18.0.0/15.
constexpr long max_fleet = 100'000;

// count devices with distinct MACs (02:c6:12 and the number k from 1 as
// three bytes), each answering from 198.18.0.0 + k and reporting that
// address as its ip, netmask 255.254.0.0, gateway 198.19.255.254, MTU 1500,
// DHCP off.
std::vector<device> make_fleet(long count);

// Writes one line per device: its address and its discovery reply, escaped
// as in the log. Dies if the file can't be written.
void write_state(const std::string& path, const std::vector<device>& devices);

}  // namespace sim
