#include "moves.h"

#include <arpa/inet.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "netlink.h"
#include "sockets.h"

namespace sim {

namespace {

// A request with room for the attributes of an address.
struct request {
    nlmsghdr h;
    union {
        ifaddrmsg addr;
        ifinfomsg link;
    };
    char attributes[64];
};

// Every request asks for an acknowledgement, which ends its answer.
request make_request(std::uint16_t type, std::uint16_t flags, std::size_t body) {
    request r{};
    r.h.nlmsg_len = static_cast<std::uint32_t>(NLMSG_LENGTH(body));
    r.h.nlmsg_type = type;
    r.h.nlmsg_flags = static_cast<std::uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags);
    return r;
}

void add_attribute(request& r, std::uint16_t type, in_addr_t value) {
    auto* a = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&r) + NLMSG_ALIGN(r.h.nlmsg_len));
    a->rta_type = type;
    a->rta_len = static_cast<std::uint16_t>(RTA_LENGTH(sizeof value));
    std::memcpy(RTA_DATA(a), &value, sizeof value);
    r.h.nlmsg_len = static_cast<std::uint32_t>(NLMSG_ALIGN(r.h.nlmsg_len) + RTA_ALIGN(a->rta_len));
}

// Whether interface ifindex carries the plant's mark.
bool marked(const socket_fd& netlink, int ifindex) {
    request r = make_request(RTM_GETLINK, 0, sizeof(ifinfomsg));
    r.link.ifi_family = AF_UNSPEC;
    r.link.ifi_index = ifindex;
    bool mark = false;
    const bool read = netlink_request(netlink.fd, &r, r.h.nlmsg_len, [&](const nlmsghdr& h) {
        if (h.nlmsg_type != RTM_NEWLINK) return true;
        return walk_attributes(
            h, sizeof(ifinfomsg), [&](unsigned type, const void* data, std::size_t n) {
                // A text ending in a zero byte.
                if (type == IFLA_IFALIAS)
                    mark = std::string(static_cast<const char*>(data), n ? n - 1 : 0) == plant_mark;
            });
    });
    if (!read)
        die("--move: cannot read interface " + std::to_string(ifindex) + ": " +
            std::strerror(errno));
    return mark;
}

// Adds (RTM_NEWADDR) or deletes (RTM_DELADDR) address a; false, errno set,
// when the kernel refuses.
bool change(const socket_fd& netlink, std::uint16_t type, const host_address& a) {
    request r =
        make_request(type, type == RTM_NEWADDR ? NLM_F_CREATE | NLM_F_EXCL : 0, sizeof(ifaddrmsg));
    r.addr.ifa_family = AF_INET;
    r.addr.ifa_prefixlen = static_cast<unsigned char>(a.prefix);
    r.addr.ifa_index = static_cast<unsigned>(a.ifindex);
    add_attribute(r, IFA_LOCAL, a.addr);
    // With the prefix, a delete takes only the address of that prefix.
    add_attribute(r, IFA_ADDRESS, a.addr);
    // As "ip address add ... broadcast +" does, where a subnet has one.
    if (type == RTM_NEWADDR && a.prefix < 31)
        add_attribute(r, IFA_BROADCAST, a.addr | htonl(~0U >> a.prefix));
    return netlink_request(netlink.fd, &r, r.h.nlmsg_len, [](const nlmsghdr&) { return true; });
}

std::string text_of(const host_address& a) {
    return address_text(a.addr) + "/" + std::to_string(a.prefix);
}

}  // namespace

std::optional<host_address> settled_address(const settings& fields) {
    if (fields.dhcp == "1" || !fields.ip || !fields.nm) return std::nullopt;
    in_addr ip{};
    in_addr nm{};
    if (inet_pton(AF_INET, fields.ip->c_str(), &ip) != 1 ||
        inet_pton(AF_INET, fields.nm->c_str(), &nm) != 1) {
        return std::nullopt;
    }
    const std::uint32_t host = ntohl(ip.s_addr);
    const std::uint32_t mask = ntohl(nm.s_addr);
    // A netmask is ones, then zeros; no host holds 0.0.0.0/8, loopback,
    // multicast or the broadcast address.
    const bool holes = (~mask & (~mask + 1)) != 0;
    const auto first = host >> 24;
    if (mask == 0 || holes || first == 0 || first == 127 || first >= 224) return std::nullopt;
    return host_address{ip.s_addr, std::popcount(mask), 0, 0};
}

void start_moves(simulator& sim) {
    sim.netlink = socket_fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!sim.netlink.valid())
        die(std::string("--move: cannot open a route netlink socket: ") + std::strerror(errno));
    std::vector<interface_info> interfaces;
    if (!list_interfaces(interfaces))
        die(std::string("--move: cannot list this host's addresses: ") + std::strerror(errno));
    for (const device& dev : sim.opts.devices) {
        const interface_info* on = nullptr;
        const subnet* held = nullptr;
        for (const interface_info& i : interfaces) {
            for (const subnet& s : i.subnets) {
                if (s.addr != dev.addr) continue;
                on = &i;
                held = &s;
            }
        }
        if (!held) die("--move: " + dev.name + " is not an address of this host");
        if (!marked(sim.netlink, on->ifindex)) {
            die("--move changes this host's addresses: it runs only in a device or fleet host "
                "of a plant (scripts/testnet --plant), and " +
                dev.name + " is on " + on->name + ", which is not one");
        }
        const host_address mine{dev.addr, std::popcount(ntohl(held->netmask)), on->ifindex, 0};
        ++sim.addresses.try_emplace(dev.addr, mine).first->second.users;
    }
}

void settle_address(simulator& sim, std::size_t i) {
    device& dev = sim.opts.devices[i];
    std::optional<host_address> wanted = settled_address(dev.fields);
    if (!wanted) return;
    const host_address old = sim.addresses.at(dev.addr);
    wanted->ifindex = old.ifindex;
    if (old.prefix == 32) wanted->prefix = 32;
    const bool same = wanted->addr == old.addr;
    // The prefix of an address that other devices answer from too stays.
    if (same && (wanted->prefix == old.prefix || old.users > 1)) return;

    // The new address comes first, so that one the kernel refuses leaves
    // the device where it was.
    const auto there = sim.addresses.find(wanted->addr);
    if (same || there == sim.addresses.end()) {
        if (!change(sim.netlink, RTM_NEWADDR, *wanted)) {
            std::fprintf(stderr, "zkdevice: --move: cannot add %s: %s\n", text_of(*wanted).c_str(),
                         std::strerror(errno));
            return;
        }
    }
    if (old.users == 1) {
        if (!change(sim.netlink, RTM_DELADDR, old)) {
            std::fprintf(stderr, "zkdevice: --move: cannot delete %s: %s\n", text_of(old).c_str(),
                         std::strerror(errno));
        }
    }
    if (same) {
        sim.addresses[old.addr].prefix = wanted->prefix;
        return;
    }
    if (old.users == 1) {
        sim.addresses.erase(old.addr);
        sim.senders.erase(old.addr);
    } else {
        --sim.addresses[old.addr].users;
    }
    ++sim.addresses.try_emplace(wanted->addr, *wanted).first->second.users;
    dev.addr = wanted->addr;
    dev.name = address_text(dev.addr);
    need_sender(sim, dev.addr, dev.reply_to.has_value());
}

}  // namespace sim
