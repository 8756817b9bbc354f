#include "report.h"

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "inventory.h"

namespace {

using json = nlohmann::ordered_json;

constexpr std::array all_outcomes = {
    outcome::verified,  outcome::saved,     outcome::unchanged,   outcome::planned,
    outcome::differs,   outcome::refused,   outcome::unconfirmed, outcome::unsent,
    outcome::not_found, outcome::ambiguous, outcome::invalid,     outcome::interrupted,
};

std::string or_dash(const std::string& text) { return text.empty() ? "-" : text; }

std::array<std::size_t, all_outcomes.size()> count(const std::vector<row_result>& rows) {
    std::array<std::size_t, all_outcomes.size()> counts{};
    for (const row_result& r : rows)
        for (std::size_t k = 0; k < all_outcomes.size(); ++k)
            if (all_outcomes[k] == r.result) ++counts[k];
    return counts;
}

// Whether a row's new address was probed for other hosts, and how or why
// not; null where it gives none.
json probe_json(const probe_note& p) {
    switch (p.way) {
    case probe_note::none:
        break;
    case probe_note::arp:
        return {{"probed", true}, {"by", "arp"}};
    case probe_note::kernel:
        return {{"probed", true}, {"by", "neighbour resolution"}};
    case probe_note::skipped:
        return {{"probed", false}, {"why_not", p.why_not}};
    }
    return nullptr;
}

// The planned settings mean something only where a row was checked.
bool has_plan(const row_result& r) { return r.found && r.result != outcome::ambiguous; }

}  // namespace

const char* outcome_name(outcome o) {
    switch (o) {
    case outcome::planned:
        return "planned";
    case outcome::unchanged:
        return "unchanged";
    case outcome::saved:
        return "saved";
    case outcome::refused:
        return "refused by device";
    case outcome::unconfirmed:
        return "no confirmation";
    case outcome::unsent:
        return "not sent";
    case outcome::not_found:
        return "not found";
    case outcome::ambiguous:
        return "ambiguous";
    case outcome::invalid:
        return "invalid";
    case outcome::verified:
        return "verified";
    case outcome::differs:
        return "differs";
    case outcome::interrupted:
        return "interrupted";
    }
    return "?";
}

std::string notes(const row_result& r, bool with_probe) {
    std::string text = r.detail;
    const auto add = [&](const std::string& note) { text += (text.empty() ? "" : "; ") + note; };
    if (r.confirmation == outcome::refused || r.confirmation == outcome::unconfirmed)
        add(outcome_name(r.confirmation));
    if (r.tries > 1) add(std::to_string(r.tries) + " tries");
    if (with_probe && (r.probe.way == probe_note::arp || r.probe.way == probe_note::kernel))
        add("probed");
    if (with_probe && r.probe.way == probe_note::skipped) add("not probed: " + r.probe.why_not);
    return text;
}

std::string summary(const std::vector<row_result>& rows) {
    std::string text = std::to_string(rows.size()) + (rows.size() == 1 ? " row" : " rows");
    const auto counts = count(rows);
    const char* separator = ": ";
    for (std::size_t k = 0; k < all_outcomes.size(); ++k) {
        if (counts[k] == 0) continue;
        text += separator + std::to_string(counts[k]) + ' ' + outcome_name(all_outcomes[k]);
        separator = ", ";
    }
    return text;
}

void write_report(std::ostream& out, const std::vector<row_result>& rows) {
    for (const row_result& r : rows) {
        const std::string old_ip = r.found ? shown(r.found->ip) : "";
        const std::string new_ip = has_plan(r) ? shown(r.planned.ip) : r.row->ip.value_or("");
        char line[128];
        std::snprintf(line, sizeof line, "%-17s  %-17s  %s -> %s", r.row->mac.c_str(),
                      outcome_name(r.result), or_dash(old_ip).c_str(), or_dash(new_ip).c_str());
        out << line;
        if (const std::string n = notes(r); !n.empty()) out << "  (" << n << ')';
        out << '\n';
    }
    out << summary(rows) << '\n';
}

json row_json(const row_result& r) {
    const std::string n = notes(r, false);
    return {
        {"line", r.row->line},
        {"mac", r.row->mac},
        {"outcome", outcome_name(r.result)},
        {"tries", r.tries},
        {"before", r.found ? device_json(*r.found, r.found->interface) : json()},
        {"after", has_plan(r) ? device_json(r.planned, r.found->interface) : json()},
        {"message", r.message.empty() ? json() : json(shown(r.message))},
        {"probe", probe_json(r.probe)},
        {"detail", n.empty() ? json() : json(n)},
    };
}

json report_json(const std::vector<row_result>& rows) {
    auto list = json::array();
    for (const row_result& r : rows) list.push_back(row_json(r));
    json counts = json::object();
    const auto counted = count(rows);
    for (std::size_t k = 0; k < all_outcomes.size(); ++k)
        if (counted[k] > 0) counts[outcome_name(all_outcomes[k])] = counted[k];
    return {{"rows", list}, {"counts", counts}};
}

void write_json_report(std::ostream& out, const std::vector<row_result>& rows) {
    out << report_json(rows).dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

int report_status(const std::vector<row_result>& rows, outcome goal) {
    for (const row_result& r : rows)
        if (r.result != goal && r.result != outcome::unchanged) return 1;
    return 0;
}
