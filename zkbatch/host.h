// This host's own IPv4 addresses, for --source and for the check that a
// plan gives no device one of them.
#pragma once

#include <netinet/in.h>

#include <string>
#include <vector>

// Every IPv4 address of every interface, in network byte order; false,
// with errno set, when the system can't list them.
bool host_addresses(std::vector<in_addr_t>& found);

enum class interface_lookup { found, unknown, no_ipv4, failed };

// The primary (first listed) IPv4 address of the interface called name.
interface_lookup interface_address(const std::string& name, in_addr_t& addr);
