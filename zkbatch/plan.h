// The plan: which device (by MAC address) gets which settings. Read and
// checked as a whole before anything is sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The columns of the inventory, in its order; a plan names them in any
// order, and ignores where the inventory heard a device (from, interface).
constexpr const char* column_names[] = {"mac", "ip",         "netmask", "gateway",  "dhcp",
                                        "mtu", "nameserver", "from",    "interface"};
enum column : std::size_t {
    col_mac,
    col_ip,
    col_netmask,
    col_gateway,
    col_dhcp,
    col_mtu,
    col_nameserver,
    col_from,
    col_interface
};

// One row: a value for each column given and not left empty. Addresses are
// in canonical dotted-quad form; an empty nameserver clears it.
struct plan_row {
    int line = 0;
    std::string mac;  // as given: xx:xx:xx:xx:xx:xx or xx-xx-xx-xx-xx-xx
    std::optional<std::string> ip, netmask, gateway, nameserver;
    std::optional<uint8_t> dhcp;
    std::optional<int32_t> mtu;
};

struct plan_error {
    int line = 0;
    std::string message;
};

struct plan {
    std::vector<plan_row> rows;
    std::vector<plan_error> errors;  // in line order; any error voids the plan
};

// Reads and checks a whole plan: the header, every row's values, and that
// no MAC address and no given IP address occurs twice. A plan whose header
// line holds ';' and no ',' has its fields separated by ';'.
plan read_plan(std::string_view text);

// An address as zkdetect's prompts accept it (the whole cell, not its first
// 15 characters), in canonical form; none when they refuse it.
std::optional<std::string> plan_address(std::string_view cell);

// Why a plan refuses cell in column, or nullptr when it takes it.
const char* cell_problem(std::size_t column, std::string_view cell);

// MAC addresses compare without regard to the case of their hex digits or
// their separator.
std::string mac_key(std::string_view mac);
