#include "inventory.h"

#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "checks.h"
#include "csv.h"
#include "plan.h"

namespace {

using json = nlohmann::ordered_json;

void write_header(std::ostream& out) {
    for (std::size_t i = 0; i < std::size(column_names); ++i)
        out << (i ? "," : "") << column_names[i];
    out << '\n';
}

// A device's settings as the cells of a plan row.
std::vector<std::string> cells(const std::string& mac, const device_entry& e,
                               const std::string& interface) {
    return {mac,
            e.ip,
            e.nm,
            e.gw,
            std::to_string(e.dhcp),
            std::to_string(e.mtu),
            e.ns,
            address_text(e.addr),
            interface};
}

}  // namespace

void write_csv(std::ostream& out, const std::vector<answer>& answers) {
    write_header(out);
    for (const answer& e : answers) {
        // Device texts are untrusted: control bytes become '?', and quoting
        // keeps commas, quotes and a leading '#' inside their field.
        out << csv_field(shown(e.hw)) << ',' << csv_field(shown(e.ip)) << ','
            << csv_field(shown(e.nm)) << ',' << csv_field(shown(e.gw)) << ','
            << static_cast<int>(e.dhcp) << ',' << e.mtu << ',' << csv_field(shown(e.ns)) << ','
            << address_text(e.addr) << ',' << csv_field(e.interface) << '\n';
    }
}

json device_json(const device_entry& e, const std::string& interface) {
    return {
        {"mac", shown(e.hw)},
        {"ip", shown(e.ip)},
        {"netmask", shown(e.nm)},
        {"gateway", shown(e.gw)},
        {"dhcp", e.dhcp != 0},
        {"mtu", e.mtu},
        {"nameserver", e.ns.empty() ? json() : json(shown(e.ns))},
        {"from", address_text(e.addr)},
        {"interface", interface.empty() ? json() : json(interface)},
    };
}

void write_json(std::ostream& out, const std::vector<answer>& answers) {
    auto list = json::array();
    for (const answer& e : answers) list.push_back(device_json(e, e.interface));
    // Bytes that are no UTF-8 become U+FFFD instead of ending the run.
    out << list.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

std::string undo_plan(const std::vector<row_result>& rows, std::vector<std::string>& warnings) {
    std::ostringstream out;
    write_header(out);
    std::set<std::string> ips;  // a plan gives an address once
    for (const row_result& r : rows) {
        if (r.result != outcome::planned) continue;
        const std::vector<std::string> was = cells(r.row->mac, *r.found, r.found->interface);
        const std::vector<std::string> will = cells(r.row->mac, r.planned, r.found->interface);
        for (std::size_t k = 0; k < was.size(); ++k) {
            std::string cell = was[k];
            if (k == col_nameserver && cell.empty()) {
                cell = "none";
            } else if (k != col_from && k != col_interface &&
                       (cell.empty() || cell_problem(k, cell) ||
                        (k == col_nameserver && cell == "none") ||
                        (k == col_ip && !ips.insert(*plan_address(cell)).second))) {
                // No plan can write this value (two devices that shared an ip
                // can't both be given it back). An empty cell keeps what the
                // device holds then, which is right unless the plan changed it.
                if (was[k] != will[k])
                    warnings.push_back("Warning: the undo file can't give " + shown(r.found->hw) +
                                       " back its " + column_names[k] + " '" + shown(cell) + "'");
                cell.clear();
            }
            out << (k ? "," : "") << csv_field(cell);
        }
        out << '\n';
    }
    return out.str();
}
