#include "host.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netpacket/packet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "exchange.h"

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

in_addr_t ipv4_of(const sockaddr* sa) {
    return reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr;
}

bool is_ipv4(const ifaddrs* i) { return i->ifa_addr && i->ifa_addr->sa_family == AF_INET; }

interface_info& entry_for(std::vector<interface_info>& found, const ifaddrs* i) {
    const auto it = std::find_if(found.begin(), found.end(),
                                 [&](const interface_info& f) { return f.name == i->ifa_name; });
    if (it != found.end()) return *it;
    interface_info& info = found.emplace_back();
    info.name = i->ifa_name;
    info.ifindex = static_cast<int>(if_nametoindex(i->ifa_name));
    info.flags = i->ifa_flags;
    return info;
}

}  // namespace

bool host_addresses(std::vector<in_addr_t>& found) {
    const address_list list;
    found.clear();
    for (const ifaddrs* i = list.head; i; i = i->ifa_next)
        if (is_ipv4(i)) found.push_back(ipv4_of(i->ifa_addr));
    return list.listed;
}

bool list_interfaces(std::vector<interface_info>& found) {
    const address_list list;
    found.clear();
    for (const ifaddrs* i = list.head; i; i = i->ifa_next) {
        if (!i->ifa_name) continue;
        interface_info& info = entry_for(found, i);
        if (is_ipv4(i)) {
            subnet& s = info.subnets.emplace_back();
            s.addr = ipv4_of(i->ifa_addr);
            if (i->ifa_netmask) s.netmask = ipv4_of(i->ifa_netmask);
            if ((i->ifa_flags & IFF_BROADCAST) && i->ifa_broadaddr &&
                i->ifa_broadaddr->sa_family == AF_INET && ipv4_of(i->ifa_broadaddr) != 0)
                s.broadcast = ipv4_of(i->ifa_broadaddr);
        } else if (i->ifa_addr && i->ifa_addr->sa_family == AF_PACKET) {
            const auto* ll = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
            if (ll->sll_hatype == ARPHRD_ETHER && ll->sll_halen == 6 &&
                !(i->ifa_flags & IFF_NOARP)) {
                std::array<std::uint8_t, 6> mac{};
                std::memcpy(mac.data(), ll->sll_addr, mac.size());
                info.mac = mac;
            }
        }
    }
    return list.listed;
}

std::vector<interface_info> scannable(const std::vector<interface_info>& all) {
    std::vector<interface_info> found;
    for (const interface_info& i : all) {
        if (!(i.flags & IFF_UP) || (i.flags & IFF_LOOPBACK)) continue;
        if (std::any_of(i.subnets.begin(), i.subnets.end(),
                        [](const subnet& s) { return s.broadcast.has_value(); }))
            found.push_back(i);
    }
    return found;
}

const interface_info* holding(const std::vector<interface_info>& all, in_addr_t addr) {
    for (const interface_info& i : all)
        for (const subnet& s : i.subnets)
            if (s.addr == addr) return &i;
    return nullptr;
}

in_addr_t broadcast_source() {
    const socket_fd sock(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    int on = 1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    to.sin_port = htons(device_port);
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (!sock.valid() || setsockopt(sock.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        connect(sock.fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 ||
        getsockname(sock.fd, reinterpret_cast<sockaddr*>(&local), &len) != 0)
        return htonl(INADDR_ANY);
    return local.sin_addr.s_addr;
}
