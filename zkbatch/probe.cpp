#include "probe.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "checks.h"
#include "neighbour.h"
#include "privilege.h"

namespace {

using clock = std::chrono::steady_clock;

bool within(const subnet& s, in_addr_t target) {
    return s.netmask != 0 && (s.addr & s.netmask) == (target & s.netmask);
}

void holds(probe& p, const std::string& mac) {
    if (std::find(p.holders.begin(), p.holders.end(), mac) == p.holders.end())
        p.holders.push_back(mac);
}

// Sends the ARP probe of p; a full send queue is tried again at the next
// wake, any other failure leaves the address unprobed.
void send_arp(const arp_link& link, in_addr_t target, probe& p) {
    const auto now = clock::now();
    if (send_probe(link, target)) {
        if (p.sent++ == 0) p.first = now;
        p.last = now;
    } else if (errno != EAGAIN && errno != ENOBUFS) {
        p.how = {probe_note::skipped,
                 std::string("the ARP probe can't be sent: ") + std::strerror(errno)};
    }
}

}  // namespace

probe_note decide_probe(const scan_link& l, int arp_error, in_addr_t target) {
    if (l.ifindex == 0) return {probe_note::skipped, "its interface is unknown"};
    if (!l.mac) return {probe_note::skipped, l.name + " has no ARP"};
    if (arp_error == 0) return {probe_note::arp, {}};
    if (std::any_of(l.subnets.begin(), l.subnets.end(),
                    [&](const subnet& s) { return within(s, target); }))
        return {probe_note::kernel, {}};
    if (arp_error == EPERM) return {probe_note::skipped, "needs CAP_NET_RAW"};
    return {probe_note::skipped,
            std::string("no packet socket on ") + l.name + ": " + std::strerror(arp_error)};
}

std::optional<in_addr_t> new_address(const plan_row& row, const device_entry& a) {
    if (!row.ip || row.dhcp.value_or(a.dhcp) != 0) return {};
    const std::optional<in_addr_t> target = field_address(row.ip->c_str());
    if (!target || (!a.dhcp && field_address(a.ip) == target)) return {};
    return target;
}

void prober::start(std::size_t link, in_addr_t target, const std::string& mac) {
    if (std::find(own.begin(), own.end(), target) != own.end()) return;
    by_device.try_emplace(mac, link, target);
    const auto [it, fresh] = probes.try_emplace({link, target});
    if (!fresh) return;
    probe& p = it->second;
    p.how = decide_probe(links[link], arp_errors[link], target);
    if (p.how.way == probe_note::arp) {
        send_arp(arp[link], target, p);
    } else if (p.how.way == probe_note::kernel) {
        if (solicit_neighbour(links[link].ifindex, target)) {
            p.sent = 1;
            p.first = p.last = clock::now();
        } else {
            p.how = {probe_note::skipped,
                     std::string("the kernel's resolution failed: ") + std::strerror(errno)};
        }
    }
}

void prober::wake() {
    for (std::size_t l = 0; l < arp.size(); ++l) {
        if (!arp[l].sock.valid()) continue;
        // Any host that speaks for a probed address holds it: a reply, or
        // a request of its own. A probe (sender 0.0.0.0) claims nothing.
        const bool read = read_arp(arp[l], [&](const arp_message& m) {
            if (m.sender_ip == 0) return;
            const auto it = probes.find({l, m.sender_ip});
            if (it != probes.end()) holds(it->second, mac_text(m.sender_mac));
        });
        if (!read && arp_unread.empty())
            arp_unread = std::string("reading ARP answers failed: ") + std::strerror(errno);
        unsigned dropped = 0;
        if (arp_dropped(arp[l], dropped)) arp_lost += dropped;
    }
    const auto now = clock::now();
    for (auto& [where, p] : probes) {
        if (p.how.way != probe_note::arp || p.sent >= probe_count) continue;
        if (p.sent == 0 || now >= p.last + probe_wait) send_arp(arp[where.first], where.second, p);
    }
}

clock::time_point prober::until() const {
    clock::time_point latest{};
    for (const auto& [where, p] : probes)
        if (p.sent > 0) latest = std::max(latest, p.first + probe_wait);
    return latest;
}

void prober::finish() {
    wake();
    const bool asked_kernel = std::any_of(probes.begin(), probes.end(), [](const auto& entry) {
        return entry.second.how.way == probe_note::kernel;
    });
    std::vector<neighbour> table;
    const bool read = asked_kernel && read_neighbours(table);
    const std::string unread =
        std::string("the neighbour table can't be read: ") + std::strerror(errno);
    for (auto& [where, p] : probes) {
        if (p.how.way == probe_note::arp && p.sent == 0)
            p.how = {probe_note::skipped, "the ARP probe could not be sent"};
        // An answer that may have been missed leaves the address unprobed.
        if (p.how.way == probe_note::arp && arp_lost > 0 && p.holders.empty())
            p.how = {probe_note::skipped, "ARP answers were lost (receive buffer full)"};
        if (p.how.way == probe_note::arp && !arp_unread.empty() && p.holders.empty())
            p.how = {probe_note::skipped, arp_unread};
        if (p.how.way != probe_note::kernel) continue;
        if (!read) {
            p.how = {probe_note::skipped, unread};
            continue;
        }
        for (const neighbour& n : table)
            if (n.addr == where.second && n.ifindex == links[where.first].ifindex &&
                neighbour_answered(n) && n.mac)
                holds(p, mac_text(*n.mac));
    }
}

arp_sockets open_arp_sockets(const std::vector<scan_link>& links, bool wanted) {
    arp_sockets s;
    s.arp.resize(links.size());
    s.errors.assign(links.size(), EPERM);
    const bool raised = wanted && raise_net_raw();
    for (std::size_t l = 0; raised && l < links.size(); ++l)
        if (links[l].ifindex != 0 && links[l].mac)
            s.errors[l] = open_arp(links[l].ifindex, s.arp[l]);
    drop_net_raw();
    return s;
}

prober open_prober(const std::vector<scan_link>& links, bool wanted) {
    return prober_with(links, open_arp_sockets(links, wanted));
}

prober prober_with(const std::vector<scan_link>& links, arp_sockets sockets) {
    prober p;
    p.links = links;
    p.arp = std::move(sockets.arp);
    p.arp_errors = std::move(sockets.errors);
    for (const arp_link& a : p.arp) {
        if (!a.sock.valid()) continue;
        // Reading the statistics resets them.
        unsigned dropped = 0;
        read_arp(a, [](const arp_message&) {});
        arp_dropped(a, dropped);
    }
    return p;
}

std::vector<plan_error> probe_findings(std::vector<row_result>& rows,
                                       const std::vector<answer>& answers, const prober& p,
                                       std::vector<std::string>& warnings) {
    std::map<const answer*, const device_entry*> after;  // devices with a row to be sent
    for (const row_result& r : rows)
        if (r.result == outcome::planned) after[r.found] = &r.planned;
    // A device that holds target now and keeps a fixed address after the
    // plan: elsewhere (the plan moves it away), or at target, which the
    // conflict check refuses already. One that DHCP governs may keep it.
    const auto accounted = [&](const std::string& mac, std::size_t segment, in_addr_t target) {
        return std::any_of(answers.begin(), answers.end(), [&](const answer& a) {
            if (a.segment != segment || mac_key(a.hw) != mac || field_address(a.ip) != target)
                return false;
            const auto it = after.find(&a);
            return (it == after.end() ? a.dhcp : it->second->dhcp) == 0;
        });
    };
    std::vector<plan_error> errors;
    for (row_result& r : rows) {
        if (r.result != outcome::planned) continue;
        const std::optional<in_addr_t> target = new_address(*r.row, *r.found);
        if (!target) continue;
        const auto asked = p.by_device.find(mac_key(r.found->hw));
        if (asked == p.by_device.end() || asked->second.second != *target) continue;
        const auto it = p.probes.find(asked->second);
        if (it == p.probes.end()) continue;
        const probe& found = it->second;
        r.probe = found.how;
        if (found.how.way == probe_note::skipped) {
            warnings.push_back("Warning: " + address_text(*target) +
                               " was not probed for other hosts (" + found.how.why_not + ")");
            continue;
        }
        for (const std::string& mac : found.holders) {
            if (mac == mac_key(r.found->hw) || accounted(mac, r.found->segment, *target)) continue;
            const char* how = found.how.way == probe_note::arp ? "an ARP probe"
                                                               : "the kernel's address resolution";
            errors.push_back({r.row->line, "ip " + address_text(*target) + " is held by " + mac +
                                               " on " + p.links[it->first.first].name +
                                               " (it answered " + how + ")"});
        }
    }
    return errors;
}
