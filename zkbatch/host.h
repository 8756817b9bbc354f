// This host's own IPv4 addresses and interfaces: for --source and
// --all-interfaces, for the check that a plan gives no device one of them,
// and for the segments behind the interfaces.
#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Every IPv4 address of every interface, in network byte order; false,
// with errno set, when the system can't list them.
bool host_addresses(std::vector<in_addr_t>& found);

// One IPv4 address of an interface, in network byte order.
struct subnet {
    in_addr_t addr = 0;
    in_addr_t netmask = 0;
    std::optional<in_addr_t> broadcast;
};

struct interface_info {
    std::string name;
    int ifindex = 0;
    unsigned flags = 0;           // IFF_UP, IFF_LOOPBACK, IFF_NOARP, ...
    std::vector<subnet> subnets;  // in the system's order: the primary first
    // Its Ethernet address, where it has one and speaks ARP.
    std::optional<std::array<std::uint8_t, 6>> mac;
};

// Every interface, in the system's order; false, with errno set, when the
// system can't list them.
bool list_interfaces(std::vector<interface_info>& found);

// The interfaces that --all-interfaces scans: up, no loopback, with an
// IPv4 address that has a broadcast address.
std::vector<interface_info> scannable(const std::vector<interface_info>& all);

// The interface that holds addr, or nullptr.
const interface_info* holding(const std::vector<interface_info>& all, in_addr_t addr);

// The local address that the system sends a limited broadcast from when
// nothing else is asked for; INADDR_ANY when it can't tell.
in_addr_t broadcast_source();
