// The kernel's own address resolution, for a run without CAP_NET_RAW: a
// datagram to an address on a directly attached subnet makes the kernel ask
// for its MAC, and the neighbour table then tells whether a host answered.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "arp.h"
#include "netlink.h"

// Sends one empty UDP datagram to target's discard port (9) out of the
// interface ifindex, which needs no privilege; the kernel resolves target
// first. Only for a target inside one of the host's subnets on that
// interface: for any other the kernel resolves a gateway's address (or,
// with no route through the interface at all, takes the target as on the
// link), and one of the host's own addresses stays on the host. false,
// errno set, when it can't be sent: ENETUNREACH while the interface is
// down, ENOBUFS when the neighbour table (shared by all network namespaces)
// is full, so nothing is resolved.
bool solicit_neighbour(int ifindex, in_addr_t target);

struct neighbour {
    in_addr_t addr = 0;  // network byte order
    int ifindex = 0;
    std::uint16_t state = 0;         // NUD_* from <linux/neighbour.h>
    std::optional<mac_address> mac;  // the link-layer address, when it is a MAC
};

// The namespace's whole IPv4 neighbour table, appended to out; false, errno
// set, when it can't be read.
bool read_neighbours(std::vector<neighbour>& out);

// Reads one receive's worth of a neighbour dump (data aligned as the
// netlink header is): appends its IPv4 entries to out. done at NLMSG_DONE,
// more while it has not come; failed, with error set to the kernel's code
// (NLMSG_ERROR) or EBADMSG (a message or attribute that is cut or overruns
// size), ends the dump.
dump_state parse_neighbours(const void* data, std::size_t size, std::vector<neighbour>& out,
                            int& error);

// A host answered for the entry's address: it holds a MAC that resolution
// found (REACHABLE, STALE, DELAY, PROBE) or that was set by hand
// (PERMANENT). INCOMPLETE, FAILED, NOARP and entries without one don't.
bool neighbour_answered(const neighbour& n);
