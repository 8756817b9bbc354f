#include "steps.h"

#include <algorithm>
#include <set>
#include <unordered_map>

bool probing(const plan& p) {
    return std::any_of(p.rows.begin(), p.rows.end(),
                       [](const plan_row& row) { return row.ip.has_value(); });
}

exchange_status scan_for(const plan& p, const network& net, prober& probes,
                         std::vector<answer>& answers) {
    std::set<std::string> wanted;
    std::unordered_map<std::string, const plan_row*> by_mac;
    for (const plan_row& row : p.rows) {
        wanted.insert(mac_key(row.mac));
        by_mac.emplace(mac_key(row.mac), &row);
    }
    scan_hooks hooks;
    if (probing(p)) {
        hooks.answered = [&](const answer& a) {
            const auto row = by_mac.find(mac_key(a.hw));
            if (row == by_mac.end()) return;
            if (const std::optional<in_addr_t> target = new_address(*row->second, a))
                probes.start(a.link, *target, row->first);
        };
        hooks.woke = [&] { probes.wake(); };
        hooks.until = [&] { return probes.until(); };
    }
    const exchange_status status = scan(net, wanted, answers, hooks);
    probes.finish();
    return status;
}

conflict_findings refusals(std::vector<row_result>& rows, const std::vector<answer>& answers,
                           const prober& probes, const std::vector<in_addr_t>& host) {
    conflict_findings found = find_conflicts(rows, answers, host);
    std::vector<std::string> unprobed;
    for (plan_error& e : probe_findings(rows, answers, probes, unprobed))
        found.errors.push_back(std::move(e));
    std::stable_sort(found.errors.begin(), found.errors.end(),
                     [](const plan_error& a, const plan_error& b) { return a.line < b.line; });
    found.warnings.insert(found.warnings.end(), unprobed.begin(), unprobed.end());
    return found;
}

change_size size_of(const std::vector<row_result>& rows) {
    change_size size;
    for (const row_result& r : rows) {
        if (r.result != outcome::planned) continue;
        ++size.devices;
        size.moved += new_address(*r.row, *r.found).has_value();
    }
    return size;
}

void interrupted(std::vector<row_result>& rows) {
    for (row_result& r : rows) {
        if (r.result == outcome::differs) {
            // The verifying scan had not decided: the saves' word stands.
            r.result = r.confirmation;
            r.confirmation = outcome::planned;
            r.detail.clear();
        }
        if (r.result == outcome::unconfirmed) r.result = outcome::interrupted;
        if (r.result == outcome::planned) r.result = outcome::unsent;
    }
}
