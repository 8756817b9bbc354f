#include "inventory.h"

#include <arpa/inet.h>

#include <nlohmann/json.hpp>
#include <string>

#include "csv.h"
#include "plan.h"

namespace {

std::string address_text(in_addr_t addr) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr, text, sizeof text);
    return text;
}

}  // namespace

void write_csv(std::ostream& out, const std::vector<device_entry>& answers) {
    for (std::size_t i = 0; i < std::size(column_names); ++i)
        out << (i ? "," : "") << column_names[i];
    out << '\n';
    for (const device_entry& e : answers) {
        // Device texts are untrusted: control bytes become '?', and quoting
        // keeps commas, quotes and a leading '#' inside their field.
        out << csv_field(shown(e.hw)) << ',' << csv_field(shown(e.ip)) << ','
            << csv_field(shown(e.nm)) << ',' << csv_field(shown(e.gw)) << ','
            << static_cast<int>(e.dhcp) << ',' << e.mtu << ',' << csv_field(shown(e.ns)) << ','
            << address_text(e.addr) << '\n';
    }
}

void write_json(std::ostream& out, const std::vector<device_entry>& answers) {
    auto list = nlohmann::ordered_json::array();
    for (const device_entry& e : answers) {
        list.push_back({
            {"mac", shown(e.hw)},
            {"ip", shown(e.ip)},
            {"netmask", shown(e.nm)},
            {"gateway", shown(e.gw)},
            {"dhcp", e.dhcp != 0},
            {"mtu", e.mtu},
            {"nameserver",
             e.ns.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(shown(e.ns))},
            {"from", address_text(e.addr)},
        });
    }
    // Bytes that are no UTF-8 become U+FFFD instead of ending the run.
    out << list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}
