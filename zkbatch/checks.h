// zkbatch's own checks of the addresses a plan gives, beyond zkdetect's:
// the rules an address must follow, and the conflicts between devices.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commission.h"
#include "plan.h"

// An IPv4 address in network byte order as a dotted quad.
std::string address_text(in_addr_t addr);

// A field as the checks before a save read it (inet_aton), in network byte
// order; none when it does not convert.
std::optional<in_addr_t> field_address(const char* field);

// Why planned settings can't work on a network, or "" when they can: a
// netmask that is not contiguous; an ip that is 0.0.0.0, 255.255.255.255,
// loopback, multicast, or the network or broadcast address of its own
// netmask (but for /31 and /32); a gateway that is the ip itself. The
// fields must convert already (config_problem passed).
std::string address_problem(const device_entry& planned);

// The address a device holds as the conflict checks see it, in host byte
// order: none while DHCP is on, or when its ip is no address.
std::optional<std::uint32_t> held_address(const device_entry& e);

struct conflict_findings {
    // Addresses that rows would give a device although another answering
    // device will hold them, or this host does: nothing may be sent.
    std::vector<plan_error> errors;
    // Addresses that several devices hold, as the plan leaves them.
    std::vector<std::string> warnings;
};

// Works out the address every answering device holds after the plan: the
// planned ip of a row to be sent, else the current one; none while DHCP is
// on. Devices conflict only on one segment. host: this host's own
// addresses, which no device may be given on any segment.
conflict_findings find_conflicts(const std::vector<row_result>& rows,
                                 const std::vector<answer>& answers,
                                 const std::vector<in_addr_t>& host);
