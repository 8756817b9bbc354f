#include "settings_body.h"

#include <nlohmann/json.hpp>
#include <set>

namespace {

using json = nlohmann::json;

// zkdetect's own words for an address its checks refuse.
const char* address_refused(const std::string& key) {
    if (key == "ip") return "Failed: ip address invalid!";
    if (key == "netmask") return "Failed: netmask invalid!";
    return "Failed: gateway address invalid!";
}

// A value as the plan's cell would hold it; false for a type no cell has.
bool cell_of(const json& value, std::string& cell) {
    if (value.is_string()) {
        cell = value.get<std::string>();
    } else if (value.is_boolean()) {
        cell = value.get<bool>() ? "1" : "0";
    } else if (value.is_number_unsigned()) {
        cell = std::to_string(value.get<unsigned long long>());
    } else {
        return false;
    }
    return true;
}

// Takes one setting into row; false with error when it is refused.
bool take(const std::string& key, const json& value, plan_row& row, settings_error& error) {
    std::string cell;
    const bool typed = cell_of(value, cell);
    const auto refuse = [&](const std::string& message) {
        error = {key, message};
        return false;
    };
    if (key == "ip" || key == "netmask" || key == "gateway") {
        const std::optional<std::string> addr = typed ? plan_address(cell) : std::nullopt;
        if (!addr) return refuse(address_refused(key));
        (key == "ip" ? row.ip : key == "netmask" ? row.netmask : row.gateway) = addr;
    } else if (key == "mtu") {
        if (!typed || cell_problem(col_mtu, cell)) return refuse("mtu value out-of-range!");
        row.mtu = std::stoi(cell);
    } else if (key == "dhcp") {
        if (!typed || cell_problem(col_dhcp, cell))
            return refuse("dhcp is not true, false, 0, 1, yes or no");
        row.dhcp = cell == "1" || cell == "yes";
    } else if (key == "nameserver") {
        if (!typed || (!cell.empty() && cell_problem(col_nameserver, cell)))
            return refuse("nameserver is not one word of at most 127 characters");
        row.nameserver = cell == "none" ? "" : cell;
    }
    return true;
}

}  // namespace

bool read_settings(std::string_view body, plan_row& row, settings_error& error) {
    static const std::set<std::string> keys = {"ip",   "netmask", "gateway",
                                               "dhcp", "mtu",     "nameserver"};
    const json doc = json::parse(body, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        error = {"", "the body is not a JSON object"};
        return false;
    }
    for (const auto& [key, value] : doc.items()) {
        if (!keys.count(key)) {
            error = {"", "unknown key '" + key.substr(0, 40) + "'"};
            return false;
        }
        // null keeps the device's value, as an empty cell does.
        if (!value.is_null() && !take(key, value, row, error)) return false;
    }
    return true;
}
