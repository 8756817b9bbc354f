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
#include <functional>
#include <map>
#include <string>
#include <vector>

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

// Sends r and hands each message of the kernel's answer (a dump's parts, or
// the one answer) to each, until the answer ends: NLMSG_DONE or the
// acknowledgement. Every request is answered to its end before the next, so
// nothing of an earlier answer is left to mistake. Returns 0, or the
// kernel's error or the socket's.
int talk(const socket_fd& netlink, const request& r,
         const std::function<void(const nlmsghdr&)>& each) {
    if (send(netlink.fd, &r, r.h.nlmsg_len, 0) < 0) return errno;
    // Words keep the headers aligned; MSG_TRUNC tells a longer message.
    std::vector<std::uint32_t> buffer(8192);
    const std::size_t size = buffer.size() * sizeof buffer[0];
    for (;;) {
        const ssize_t n = recv(netlink.fd, buffer.data(), size, MSG_TRUNC);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (static_cast<std::size_t>(n) > size) return EMSGSIZE;
        int left = static_cast<int>(n);
        for (const auto* h = reinterpret_cast<const nlmsghdr*>(buffer.data()); NLMSG_OK(h, left);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE) return 0;
            if (h->nlmsg_type == NLMSG_ERROR) {
                if (h->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr))) return EBADMSG;
                return -static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
            }
            each(*h);
        }
    }
}

// Calls each(type, data, size) for every attribute of h after its fixed
// part of head bytes.
void for_attributes(const nlmsghdr& h, std::size_t head,
                    const std::function<void(unsigned, const void*, std::size_t)>& each) {
    if (h.nlmsg_len < NLMSG_LENGTH(head)) return;
    int left = static_cast<int>(h.nlmsg_len - NLMSG_LENGTH(head));
    const auto* a = reinterpret_cast<const rtattr*>(static_cast<const char*>(NLMSG_DATA(&h)) +
                                                    NLMSG_ALIGN(head));
    for (; RTA_OK(a, left); a = RTA_NEXT(a, left)) each(a->rta_type, RTA_DATA(a), RTA_PAYLOAD(a));
}

// This host's IPv4 addresses, each with its prefix and interface.
std::map<in_addr_t, host_address> dump_addresses(const socket_fd& netlink) {
    request r = make_request(RTM_GETADDR, NLM_F_DUMP, sizeof(ifaddrmsg));
    r.addr.ifa_family = AF_INET;
    std::map<in_addr_t, host_address> found;
    const int error = talk(netlink, r, [&](const nlmsghdr& h) {
        if (h.nlmsg_type != RTM_NEWADDR || h.nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg))) return;
        const auto* a = static_cast<const ifaddrmsg*>(NLMSG_DATA(&h));
        host_address held{0, a->ifa_prefixlen, static_cast<int>(a->ifa_index), 0};
        for_attributes(h, sizeof(ifaddrmsg), [&](unsigned type, const void* data, std::size_t n) {
            if (type == IFA_LOCAL && n == sizeof held.addr) std::memcpy(&held.addr, data, n);
        });
        if (held.addr != 0) found[held.addr] = held;
    });
    if (error != 0) die(std::string("--move: cannot read this host's addresses: ") + std::strerror(error));
    return found;
}

// The name of interface ifindex, and whether it carries the plant's mark.
std::pair<std::string, bool> interface_of(const socket_fd& netlink, int ifindex) {
    request r = make_request(RTM_GETLINK, 0, sizeof(ifinfomsg));
    r.link.ifi_family = AF_UNSPEC;
    r.link.ifi_index = ifindex;
    std::string name;
    bool marked = false;
    const int error = talk(netlink, r, [&](const nlmsghdr& h) {
        if (h.nlmsg_type != RTM_NEWLINK) return;
        for_attributes(h, sizeof(ifinfomsg), [&](unsigned type, const void* data, std::size_t n) {
            // Both are texts ending in a zero byte.
            const std::string text(static_cast<const char*>(data), n ? n - 1 : 0);
            if (type == IFLA_IFNAME) name = text;
            if (type == IFLA_IFALIAS) marked = text == plant_mark;
        });
    });
    if (error != 0) {
        die("--move: cannot read interface " + std::to_string(ifindex) + ": " + std::strerror(error));
    }
    return {name, marked};
}

// Adds (RTM_NEWADDR) or deletes (RTM_DELADDR) address a; the error, or 0.
int change(const socket_fd& netlink, std::uint16_t type, const host_address& a) {
    request r = make_request(type, type == RTM_NEWADDR ? NLM_F_CREATE | NLM_F_EXCL : 0,
                             sizeof(ifaddrmsg));
    r.addr.ifa_family = AF_INET;
    r.addr.ifa_prefixlen = static_cast<unsigned char>(a.prefix);
    r.addr.ifa_index = static_cast<unsigned>(a.ifindex);
    add_attribute(r, IFA_LOCAL, a.addr);
    // With the prefix, a delete takes only the address of that prefix.
    add_attribute(r, IFA_ADDRESS, a.addr);
    // As "ip address add ... broadcast +" does, where a subnet has one.
    if (type == RTM_NEWADDR && a.prefix < 31)
        add_attribute(r, IFA_BROADCAST, a.addr | htonl(~0U >> a.prefix));
    return talk(netlink, r, [](const nlmsghdr&) {});
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
    const std::map<in_addr_t, host_address> held = dump_addresses(sim.netlink);
    std::map<int, std::pair<std::string, bool>> interfaces;
    for (const device& dev : sim.opts.devices) {
        const auto it = held.find(dev.addr);
        if (it == held.end()) die("--move: " + dev.name + " is not an address of this host");
        const int ifindex = it->second.ifindex;
        if (!interfaces.count(ifindex)) interfaces[ifindex] = interface_of(sim.netlink, ifindex);
        const auto& [name, marked] = interfaces[ifindex];
        if (!marked) {
            die("--move changes this host's addresses: it runs only in a device or fleet host "
                "of a plant (scripts/testnet --plant), and " +
                dev.name + " is on " + name + ", which is not one");
        }
        host_address& mine = sim.addresses.try_emplace(dev.addr, it->second).first->second;
        ++mine.users;
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
        if (const int error = change(sim.netlink, RTM_NEWADDR, *wanted); error != 0) {
            std::fprintf(stderr, "zkdevice: --move: cannot add %s: %s\n", text_of(*wanted).c_str(),
                         std::strerror(error));
            return;
        }
    }
    if (old.users == 1) {
        if (const int error = change(sim.netlink, RTM_DELADDR, old); error != 0) {
            std::fprintf(stderr, "zkdevice: --move: cannot delete %s: %s\n", text_of(old).c_str(),
                         std::strerror(error));
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
