#include "report.h"

#include <array>
#include <cstdio>

namespace {

constexpr std::array all_outcomes = {
    outcome::verified,    outcome::saved,  outcome::planned,   outcome::differs,   outcome::refused,
    outcome::unconfirmed, outcome::unsent, outcome::not_found, outcome::ambiguous, outcome::invalid,
};

std::string or_dash(const std::string& text) { return text.empty() ? "-" : text; }

}  // namespace

const char* outcome_name(outcome o) {
    switch (o) {
    case outcome::planned:
        return "planned";
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
    }
    return "?";
}

int write_report(std::ostream& out, const std::vector<row_result>& rows, outcome goal) {
    std::array<std::size_t, all_outcomes.size()> counts{};
    for (const row_result& r : rows) {
        const std::string old_ip = r.found ? shown(r.found->ip) : "";
        const std::string new_ip = r.found && r.result != outcome::ambiguous
                                       ? shown(r.planned.ip)
                                       : r.row->ip.value_or("");
        char line[128];
        std::snprintf(line, sizeof line, "%-17s  %-17s  %s -> %s", r.row->mac.c_str(),
                      outcome_name(r.result), or_dash(old_ip).c_str(), or_dash(new_ip).c_str());
        out << line;
        if (!r.detail.empty()) out << "  (" << r.detail << ')';
        out << '\n';
        for (std::size_t k = 0; k < all_outcomes.size(); ++k)
            if (all_outcomes[k] == r.result) ++counts[k];
    }
    out << rows.size() << (rows.size() == 1 ? " row" : " rows");
    const char* separator = ": ";
    for (std::size_t k = 0; k < all_outcomes.size(); ++k) {
        if (counts[k] == 0) continue;
        out << separator << counts[k] << ' ' << outcome_name(all_outcomes[k]);
        separator = ", ";
    }
    out << '\n';
    for (const row_result& r : rows)
        if (r.result != goal) return 1;
    return 0;
}
