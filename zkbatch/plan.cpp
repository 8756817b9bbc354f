#include "plan.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>

#include "csv.h"
#include "devices.h"
#include "prompt.h"

namespace {

constexpr std::size_t no_column = std::size(column_names);

// A cell quoted in a message: control bytes shown as '?', long ones cut.
std::string quote(std::string_view cell) {
    constexpr std::size_t limit = 40;
    // Appended rather than "'" + ...: g++ 12 warns falsely (-Wrestrict) on
    // that form in optimised builds.
    std::string quoted(1, '\'');
    quoted += shown(cell.substr(0, limit));
    quoted += cell.size() > limit ? "...'" : "'";
    return quoted;
}

// Six pairs of hex digits joined by ':' or, as some spreadsheets and
// vendors write them, by '-'; the same separator throughout.
bool is_mac(std::string_view text) {
    if (text.size() != 17 || (text[2] != ':' && text[2] != '-')) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool ok = i % 3 == 2 ? text[i] == text[2]
                                   : std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
        if (!ok) return false;
    }
    return true;
}

// A header cell as a spreadsheet may write it: any case, blanks around.
std::string column_key(std::string_view cell) {
    const std::size_t first = cell.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    cell = cell.substr(first, cell.find_last_not_of(" \t") - first + 1);
    std::string key(cell);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

// The checks of the prompts: an MTU from 500 to 1500.
std::optional<int32_t> mtu(std::string_view cell) {
    if (cell.empty() || cell.size() > 4 ||
        !std::all_of(cell.begin(), cell.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return {};
    const int32_t value = std::stoi(std::string(cell));
    if (value < 500 || value > 1500) return {};
    return value;
}

std::optional<uint8_t> dhcp(std::string_view cell) {
    if (cell == "1" || cell == "yes") return 1;
    if (cell == "0" || cell == "no") return 0;
    return {};
}

// One word of at most the prompt's length, and nothing that would end or
// add a token of the set message.
bool nameserver_word(std::string_view cell) {
    return cell.size() <= word_limit && std::none_of(cell.begin(), cell.end(), [](char c) {
               const auto b = static_cast<unsigned char>(c);
               return b <= 0x20 || b == 0x7f || c == ';' || c == '=';
           });
}

struct checker {
    plan result;
    std::vector<std::size_t> column_of;    // per plan field: the column
    std::map<std::string, int> macs, ips;  // value -> line first given

    void error(int line, std::string message) {
        result.errors.push_back({line, std::move(message)});
    }

    bool header(const csv_record& rec) {
        column_of.assign(rec.fields.size(), no_column);
        std::vector<bool> seen(no_column, false);
        bool ok = true;
        for (std::size_t i = 0; i < rec.fields.size(); ++i) {
            const auto* const it = std::find(std::begin(column_names), std::end(column_names),
                                             column_key(rec.fields[i]));
            const auto k = static_cast<std::size_t>(it - std::begin(column_names));
            if (k == no_column) {
                error(rec.line, "unknown column " + quote(rec.fields[i]));
                ok = false;
            } else if (seen[k]) {
                error(rec.line, "column " + quote(rec.fields[i]) + " given twice");
                ok = false;
            }
            if (k != no_column) seen[k] = true;
            column_of[i] = k;
        }
        if (!seen[col_mac]) {
            error(rec.line, "no 'mac' column");
            ok = false;
        }
        return ok;
    }

    // Records a value that must be unique; an error names the first line.
    void unique(std::map<std::string, int>& first, const std::string& value, const char* what,
                int line) {
        const auto [it, fresh] = first.emplace(value, line);
        if (!fresh)
            error(line, std::string(what) + " " + value + " given twice (first on line " +
                            std::to_string(it->second) + ")");
    }

    void row(const csv_record& rec) {
        if (rec.fields.size() != column_of.size()) {
            error(rec.line, "malformed line: " + std::to_string(rec.fields.size()) +
                                " fields, the header has " + std::to_string(column_of.size()));
            return;
        }
        plan_row r;
        r.line = rec.line;
        const std::size_t errors_before = result.errors.size();
        for (std::size_t i = 0; i < rec.fields.size(); ++i) {
            const std::string& cell = rec.fields[i];
            const std::size_t k = column_of[i];
            if (cell.empty() && k != col_mac) continue;
            if (const char* why = cell_problem(k, cell)) {
                error(rec.line, std::string(column_names[k]) + ": " + quote(cell) + " " + why);
                continue;
            }
            switch (k) {
            case col_mac:
                r.mac = cell;
                break;
            case col_ip:
                r.ip = plan_address(cell);
                break;
            case col_netmask:
                r.netmask = plan_address(cell);
                break;
            case col_gateway:
                r.gateway = plan_address(cell);
                break;
            case col_dhcp:
                r.dhcp = dhcp(cell);
                break;
            case col_mtu:
                r.mtu = mtu(cell);
                break;
            case col_nameserver:
                r.nameserver = cell == "none" ? "" : cell;
                break;
            default:  // from, interface: where the inventory heard the device
                break;
            }
        }
        if (result.errors.size() != errors_before) return;
        unique(macs, mac_key(r.mac), "MAC", r.line);
        if (r.ip) unique(ips, *r.ip, "IP address", r.line);
        result.rows.push_back(std::move(r));
    }
};

}  // namespace

const char* cell_problem(std::size_t column, std::string_view cell) {
    switch (column) {
    case col_mac:
        return is_mac(cell) ? nullptr : "is not a MAC address (xx:xx:xx:xx:xx:xx or xx-xx-...)";
    case col_ip:
    case col_netmask:
    case col_gateway:
        return plan_address(cell) ? nullptr : "is not an IPv4 address";
    case col_dhcp:
        return dhcp(cell) ? nullptr : "is not 0, 1, yes or no";
    case col_mtu:
        return mtu(cell) ? nullptr : "is not a number from 500 to 1500";
    case col_nameserver:
        return nameserver_word(cell) ? nullptr : "is not one word of at most 127 characters";
    default:
        return nullptr;
    }
}

std::optional<std::string> plan_address(std::string_view cell) {
    std::string text(cell);
    if (text.find('\0') != std::string::npos || !verify_address(text.data())) return {};
    // The canonical form may be shorter: it ends at the terminator written.
    text.erase(std::min(text.find('\0'), text.size()));
    return text;
}

std::string mac_key(std::string_view mac) {
    std::string key(mac);
    for (char& c : key)
        c = c == '-' ? ':' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

plan read_plan(std::string_view text) {
    // A spreadsheet may start its export with a UTF-8 byte order mark.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    checker check;
    bool have_header = false;
    for (const csv_record& rec : read_csv(text, csv_separator(text))) {
        if (!rec.error.empty()) {
            check.error(rec.line, "malformed line: " + rec.error);
            // Without its header no row can be read.
            if (!have_header) break;
        } else if (!have_header) {
            have_header = true;
            if (!check.header(rec)) break;
        } else {
            check.row(rec);
        }
    }
    if (!have_header && check.result.errors.empty()) check.error(0, "no header line");
    return std::move(check.result);
}
