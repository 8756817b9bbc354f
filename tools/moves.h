// --move: devices that move as real ones do. Each device's address is one of
// this host's (a host of a plant: scripts/testnet --plant), and a set
// message that gives a device another address moves it there on the host
// too, through rtnetlink, so that the device answers from it and the kernel
// answers ARP for it, and no longer for the old one.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "simulator.h"

namespace sim {

// The alias that scripts/plantnet.bash gives a plant host's interface; --move
// changes no address on an interface without it.
constexpr std::string_view plant_mark = "zk-plant-host";

// The address a device with settings fields holds: its ip with the prefix of
// its netmask. None while DHCP is on (no server gives it one, so it keeps
// what it has), or when ip or netmask is not one a host could hold.
std::optional<host_address> settled_address(const settings& fields);

// Finds the interface and prefix of every device's address; dies unless
// each is on an interface of a plant host, before anything is changed.
void start_moves(simulator& sim);

// Device i takes the address of its settings, if that is another: the new
// address comes on the old one's interface (a /32 stays a /32, as a fleet
// host holds its devices' addresses), the old one goes once no device
// answers from it, and the device answers from the new one from then on.
// A change the kernel refuses is reported, and the device stays put.
void settle_address(simulator& sim, std::size_t i);

}  // namespace sim
