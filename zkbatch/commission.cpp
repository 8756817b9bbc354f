#include "commission.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>

#include "save.h"

namespace {

const in_addr_t broadcast = htonl(INADDR_BROADCAST);

// Receive state: a reply handler gets nothing but the sender and the text.
std::vector<device_entry>* scan_answers = nullptr;
// Per scan address, its planned rows still waiting, in plan order.
std::unordered_map<in_addr_t, std::vector<row_result*>> waiting;
std::size_t undecided = 0;

bool collect(in_addr_t addr, char* text) {
    device_entry& entry = scan_answers->emplace_back();
    entry.addr = addr;
    parse_reply(entry, text);
    // A reply without an MTU counts as 1500, as in zkdetect's list.
    if (entry.mtu == 0) entry.mtu = 1500;
    return false;
}

bool confirms(const row_result& r, const char* text) {
    const std::string prefix = std::string("ok hw=") + r.found->hw;
    return std::strncmp(text, prefix.c_str(), prefix.size()) == 0;
}

// As in zkdetect, the first datagram from a device's scan address decides.
// Where several planned devices share an address, a confirmation naming
// one of them decides that one; anything else the first in plan order.
bool confirmation(in_addr_t addr, char* text) {
    const auto it = waiting.find(addr);
    if (it == waiting.end() || it->second.empty()) return false;
    std::vector<row_result*>& rows = it->second;
    auto pick = rows.begin();
    while (pick != rows.end() && !confirms(**pick, text)) ++pick;
    if (pick == rows.end()) {
        pick = rows.begin();
        (*pick)->result = outcome::refused;
    } else {
        (*pick)->result = outcome::saved;
    }
    rows.erase(pick);
    return --undecided == 0;
}

void warn_lost(unsigned long lost, const char* consequence) {
    if (lost > 0)
        std::fprintf(stderr, "Warning: %lu replies lost (receive buffer full), %s!\n", lost,
                     consequence);
}

void apply(device_entry& e, const plan_row& row) {
    const auto put = [](char(&field)[16], const std::optional<std::string>& value) {
        if (value) std::snprintf(field, sizeof field, "%s", value->c_str());
    };
    put(e.ip, row.ip);
    put(e.nm, row.netmask);
    put(e.gw, row.gateway);
    if (row.dhcp) e.dhcp = *row.dhcp;
    if (row.mtu) e.mtu = *row.mtu;
    if (row.nameserver) e.ns = *row.nameserver;
    e.next = nullptr;
}

std::string address_text(in_addr_t addr) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr, text, sizeof text);
    return text;
}

// The first setting in which the answer differs from the plan, or "".
std::string difference(const device_entry& got, const device_entry& want) {
    const auto text = [](const char* name, const char* value) {
        return std::string(name) + " is '" + shown(value) + "'";
    };
    if (std::strcmp(got.ip, want.ip) != 0) return text("ip", got.ip);
    if (std::strcmp(got.nm, want.nm) != 0) return text("netmask", got.nm);
    if (std::strcmp(got.gw, want.gw) != 0) return text("gateway", got.gw);
    if (got.dhcp != want.dhcp) return got.dhcp ? "dhcp is on" : "dhcp is off";
    if (got.mtu != want.mtu) return "mtu is " + std::to_string(got.mtu);
    if (got.ns != want.ns)
        return got.ns.empty() ? "no nameserver" : text("nameserver", got.ns.c_str());
    return {};
}

std::multimap<std::string, const device_entry*> by_mac(const std::vector<device_entry>& answers) {
    std::multimap<std::string, const device_entry*> index;
    for (const device_entry& e : answers) index.emplace(mac_key(e.hw), &e);
    return index;
}

}  // namespace

exchange_status scan(in_addr_t source, std::vector<device_entry>& answers) {
    scan_answers = &answers;
    unsigned long lost = 0;
    const exchange_status status = exchange(source, broadcast, discovery_request, collect, &lost);
    scan_answers = nullptr;
    warn_lost(lost, "the list is incomplete");
    return status;
}

std::vector<row_result> match(const plan& p, const std::vector<device_entry>& answers) {
    const auto index = by_mac(answers);
    std::vector<row_result> rows;
    rows.reserve(p.rows.size());
    for (const plan_row& row : p.rows) {
        row_result& r = rows.emplace_back();
        r.row = &row;
        const auto [first, last] = index.equal_range(mac_key(row.mac));
        if (first == last) {
            r.result = outcome::not_found;
            continue;
        }
        r.found = first->second;
        for (auto it = first; it != last; ++it) {
            if (it->second->addr != r.found->addr) {
                r.result = outcome::ambiguous;
                r.detail = "answered from " + address_text(r.found->addr) + " and " +
                           address_text(it->second->addr);
                break;
            }
        }
        if (r.result == outcome::ambiguous) continue;
        r.planned = *r.found;
        apply(r.planned, row);
        char msg[set_message_size];
        if (const char* problem = config_problem(r.planned)) {
            r.result = outcome::invalid;
            r.detail = problem;
        } else if (compose_set_message(r.planned, msg) < 0) {
            r.result = outcome::invalid;
            r.detail = "Error preparing save message!\n";
        } else {
            r.message = msg;
        }
        if (!r.detail.empty() && r.detail.back() == '\n') r.detail.pop_back();
    }
    return rows;
}

void save_all(in_addr_t source, std::vector<row_result>& rows) {
    std::vector<row_result*> planned;
    for (row_result& r : rows)
        if (r.result == outcome::planned) planned.push_back(&r);
    if (planned.empty()) return;

    const auto unsent_from = [&](std::size_t first) {
        for (std::size_t i = first; i < planned.size(); ++i) planned[i]->result = outcome::unsent;
    };
    exchange_sockets ex;
    switch (open_exchange(source, broadcast, ex)) {
    case exchange_status::listen_failed:
        std::fputs("Error listening for replies on UDP port 65002!\n", stderr);
        return unsent_from(0);
    case exchange_status::send_failed:
        std::fputs("Error sending save request!\n", stderr);
        return unsent_from(0);
    case exchange_status::done:
        break;
    }

    waiting.clear();
    undecided = 0;
    for (std::size_t i = 0; i < planned.size(); ++i) {
        if (send_request(ex, planned[i]->message.c_str()) != 0) {
            std::fputs("Error sending save request!\n", stderr);
            unsent_from(i);
            break;
        }
        planned[i]->result = outcome::unconfirmed;
        waiting[planned[i]->found->addr].push_back(planned[i]);
        ++undecided;
    }
    if (undecided > 0) warn_lost(receiver(ex, confirmation), "confirmations may be missing");
    waiting.clear();
}

void verify_all(std::vector<row_result>& rows, const std::vector<device_entry>& answers) {
    const auto index = by_mac(answers);
    for (row_result& r : rows) {
        if (r.result != outcome::saved) continue;
        const auto [first, last] = index.equal_range(mac_key(r.row->mac));
        r.result = outcome::differs;
        r.detail = first == last ? "no answer" : difference(*first->second, r.planned);
        for (auto it = first; it != last && r.result == outcome::differs; ++it) {
            if (difference(*it->second, r.planned).empty()) {
                r.result = outcome::verified;
                r.detail.clear();
            }
        }
    }
}
