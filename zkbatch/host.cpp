#include "host.h"

#include <ifaddrs.h>

namespace {

// The system's list of interface addresses, freed with its owner.
struct address_list {
    ifaddrs* head = nullptr;
    bool listed;
    // A failed call leaves no list to walk or free.
    address_list() : listed(getifaddrs(&head) == 0) {
        if (!listed) head = nullptr;
    }
    address_list(const address_list&) = delete;
    address_list& operator=(const address_list&) = delete;
    ~address_list() {
        if (head) freeifaddrs(head);
    }
};

in_addr_t ipv4_of(const ifaddrs* i) {
    return reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
}

bool is_ipv4(const ifaddrs* i) { return i->ifa_addr && i->ifa_addr->sa_family == AF_INET; }

}  // namespace

bool host_addresses(std::vector<in_addr_t>& found) {
    const address_list list;
    found.clear();
    for (const ifaddrs* i = list.head; i; i = i->ifa_next)
        if (is_ipv4(i)) found.push_back(ipv4_of(i));
    return list.listed;
}

interface_lookup interface_address(const std::string& name, in_addr_t& addr) {
    const address_list list;
    if (!list.listed) return interface_lookup::failed;
    bool known = false;
    for (const ifaddrs* i = list.head; i; i = i->ifa_next) {
        if (!i->ifa_name || name != i->ifa_name) continue;
        known = true;
        if (is_ipv4(i)) {
            addr = ipv4_of(i);
            return interface_lookup::found;
        }
    }
    return known ? interface_lookup::no_ipv4 : interface_lookup::unknown;
}
