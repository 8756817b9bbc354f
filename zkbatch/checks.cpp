#include "checks.h"

#include <arpa/inet.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>

namespace {

std::string dotted(std::uint32_t host_order) { return address_text(htonl(host_order)); }

// A field as the checks before a save read it, in host byte order.
std::optional<std::uint32_t> address_of(const char* field) {
    const std::optional<in_addr_t> addr = field_address(field);
    if (!addr) return {};
    return ntohl(*addr);
}

std::string mac_text(const device_entry& e) {
    return e.hw[0] ? shown(e.hw) : std::string("(no MAC)");
}

// One device's address before and after the plan, where it has one.
struct holder {
    const answer* device;
    const row_result* row;  // the row that changes it, if any
    bool moved;             // the plan gives it this address
};

}  // namespace

std::string address_text(in_addr_t addr) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr, text, sizeof text);
    return text;
}

std::optional<in_addr_t> field_address(const char* field) {
    in_addr a{};
    if (!inet_aton(field, &a)) return {};
    return a.s_addr;
}

std::string address_problem(const device_entry& planned) {
    const std::uint32_t ip = address_of(planned.ip).value_or(0);
    const std::uint32_t nm = address_of(planned.nm).value_or(0);
    const std::uint32_t gw = address_of(planned.gw).value_or(0);
    const std::string ip_text = "ip " + dotted(ip);
    // Contiguous: the host part, plus one, is a power of two (or zero).
    if ((~nm & (~nm + 1)) != 0) return "netmask " + dotted(nm) + " is not contiguous";
    if (ip == 0) return ip_text + " is not an address a device can hold";
    if (ip == 0xffffffff) return ip_text + " is the broadcast address";
    if (ip >> 24 == 127) return ip_text + " is a loopback address";
    if (ip >> 28 == 0xe) return ip_text + " is a multicast address";
    const int prefix = std::popcount(nm);
    const std::string network = dotted(ip & nm) + "/" + std::to_string(prefix);
    // /31 and /32 have no network or broadcast address of their own.
    if (prefix <= 30) {
        if ((ip & ~nm) == 0) return ip_text + " is the network address of " + network;
        if ((ip & ~nm) == ~nm) return ip_text + " is the broadcast address of " + network;
    }
    if (gw == ip) return "gateway " + dotted(gw) + " is the ip address itself";
    return {};
}

std::optional<std::uint32_t> held_address(const device_entry& e) {
    return e.dhcp ? std::nullopt : address_of(e.ip);
}

conflict_findings find_conflicts(const std::vector<row_result>& rows,
                                 const std::vector<answer>& answers,
                                 const std::vector<in_addr_t>& host) {
    std::map<const answer*, const row_result*> sent;
    for (const row_result& r : rows)
        if (r.result == outcome::planned) sent[r.found] = &r;

    // Holders by segment and address after the plan, each in order of the
    // answers.
    using place = std::pair<std::size_t, std::uint32_t>;
    std::map<place, std::vector<holder>> holders;
    std::vector<place> order;
    for (const answer& e : answers) {
        const auto it = sent.find(&e);
        const device_entry& after = it == sent.end() ? e : it->second->planned;
        const std::optional<std::uint32_t> now = held_address(after);
        if (!now) continue;
        const std::optional<std::uint32_t> before = held_address(e);
        std::vector<holder>& list = holders[{e.segment, *now}];
        if (list.empty()) order.push_back({e.segment, *now});
        list.push_back({&e, it == sent.end() ? nullptr : it->second, before != now});
    }

    conflict_findings found;
    for (const place& at : order) {
        const std::uint32_t addr = at.second;
        const std::vector<holder>& list = holders[at];
        bool made = false;
        for (const holder& h : list) {
            if (!h.row || !h.moved) continue;
            made = true;
            std::string others;
            for (const holder& o : list)
                if (&o != &h) others += (others.empty() ? "" : ", ") + mac_text(*o.device);
            if (!others.empty())
                found.errors.push_back(
                    {h.row->row->line, "ip " + dotted(addr) + " is held by " + others});
            if (std::find(host.begin(), host.end(), htonl(addr)) != host.end())
                found.errors.push_back(
                    {h.row->row->line, "ip " + dotted(addr) + " is an address of this host"});
        }
        if (made || list.size() < 2) continue;
        std::string macs;
        for (const holder& h : list) macs += (macs.empty() ? "" : ", ") + mac_text(*h.device);
        std::string warning =
            "Warning: " + dotted(addr) + " is held by " + std::to_string(list.size()) + " devices";
        if (const std::string& where = list.front().device->interface; !where.empty())
            warning += " on " + where;
        warning += ": ";
        found.warnings.push_back(warning.append(macs));
    }
    std::stable_sort(found.errors.begin(), found.errors.end(),
                     [](const plan_error& a, const plan_error& b) { return a.line < b.line; });
    return found;
}
