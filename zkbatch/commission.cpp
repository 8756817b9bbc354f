#include "commission.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "checks.h"
#include "save.h"

namespace {

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

std::multimap<std::string, const answer*> by_mac(const std::vector<answer>& answers) {
    std::multimap<std::string, const answer*> index;
    for (const answer& e : answers) index.emplace(mac_key(e.hw), &e);
    return index;
}

// Why the planned settings can't be sent, or "".
std::string problem(const row_result& r) {
    if (const char* failed = config_problem(r.planned)) {
        std::string text = failed;
        text.pop_back();  // its line feed
        return text;
    }
    // zkbatch's own checks judge the addresses a row sets, not those a
    // device already holds and keeps.
    const plan_row& row = *r.row;
    if (row.ip || row.netmask || row.gateway) {
        if (std::string why = address_problem(r.planned); !why.empty()) return why;
    }
    char msg[set_message_size];
    if (compose_set_message(r.planned, msg) < 0) return "Error preparing save message!";
    return {};
}

bool confirms(const row_result& r, const char* text) {
    const std::string prefix = std::string("ok hw=") + r.found->hw;
    return std::strncmp(text, prefix.c_str(), prefix.size()) == 0;
}

}  // namespace

std::vector<row_result> match(const plan& p, const std::vector<answer>& answers) {
    const auto index = by_mac(answers);
    std::vector<row_result> rows;
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
        if (difference(*r.found, r.planned).empty()) {
            r.result = outcome::unchanged;
        } else if (std::string why = problem(r); !why.empty()) {
            r.result = outcome::invalid;
            r.detail = std::move(why);
        } else {
            char msg[set_message_size];
            compose_set_message(r.planned, msg);
            r.message = msg;
        }
    }
    return rows;
}

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

void save_book::sent(row_result& r) {
    if (r.tries++ > 0) return;
    r.result = outcome::unconfirmed;
    at[{r.found->link, r.found->addr}].push_back(&r);
    ++undecided;
}

bool save_book::take(std::size_t link, in_addr_t from, const char* text) {
    const auto it = at.find({link, from});
    if (it == at.end()) return undecided == 0;
    row_result* answers = nullptr;
    for (row_result* r : it->second) {
        if (confirms(*r, text)) {
            answers = r;
            break;
        }
    }
    if (!answers) {
        for (row_result* r : it->second) {
            if (r->answered < r->tries) {
                answers = r;
                break;
            }
        }
    }
    if (!answers) return undecided == 0;
    if (answers->answered < answers->tries) ++answers->answered;
    if (answers->result == outcome::unconfirmed) {
        answers->result = confirms(*answers, text) ? outcome::saved : outcome::refused;
        --undecided;
    }
    return undecided == 0;
}

verify_book::verify_book(std::vector<row_result>& rows) {
    for (row_result& r : rows) {
        if (r.result != outcome::saved && r.result != outcome::refused &&
            r.result != outcome::unconfirmed)
            continue;
        r.confirmation = r.result;
        r.result = outcome::differs;
        r.detail = "no answer";
        by_mac.emplace(mac_key(r.row->mac), &r);
        ++pending;
    }
}

bool verify_book::take(const device_entry& answer) {
    const auto it = by_mac.find(mac_key(answer.hw));
    if (it != by_mac.end() && it->second->result == outcome::differs) {
        row_result& r = *it->second;
        r.detail = difference(answer, r.planned);
        if (r.detail.empty()) {
            r.result = outcome::verified;
            --pending;
        }
    }
    return pending == 0;
}
