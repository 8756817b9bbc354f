// The interfaces a run scans, each a way onto one segment: where its
// requests leave from and what the host holds on it.
#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host.h"

struct scan_link {
    std::string name;  // the interface; "" when the system's choice can't be told
    int ifindex = 0;
    in_addr_t source = htonl(INADDR_ANY);            // requests leave from here
    std::vector<subnet> subnets;                     // the interface's own addresses
    std::optional<std::array<std::uint8_t, 6>> mac;  // where it speaks ARP
};

// The links of the sources given (interface names, or local addresses in
// any form inet_aton takes), of every scannable interface (all), or with
// neither, of the system's own choice for a broadcast. false, with a
// message for the operator in error, when a source names nothing usable.
bool resolve_links(const std::vector<std::string>& sources, bool all, std::vector<scan_link>& links,
                   std::string& error);

// The scannable interfaces that none of links is on, by name.
std::vector<std::string> unscanned_interfaces(const std::vector<scan_link>& links);

// Why a run that scanned only the system's choice may have missed devices,
// or "" when this host has no other interface to scan.
std::string unscanned_warning(const std::vector<scan_link>& links);
