// zkbatch: lists the zefo*kit devices on the local segment, and commissions
// many at once from a plan that names each device by its MAC address.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>

#include "audit.h"
#include "checks.h"
#include "commission.h"
#include "files.h"
#include "host.h"
#include "inventory.h"
#include "options.h"
#include "plan.h"
#include "probe.h"
#include "report.h"
#include "rounds.h"

namespace {

// The plan, read and checked as a whole; false (after the messages) when it
// can't be used.
bool load_plan(const std::string& path, plan& p) {
    const std::string name = path == "-" ? "<stdin>" : path;
    std::string text;
    std::string error;
    if (!read_input(path, text, error)) {
        std::fprintf(stderr, "zkbatch: cannot read '%s': %s\n", name.c_str(), error.c_str());
        return false;
    }
    p = read_plan(text);
    for (const plan_error& e : p.errors) {
        if (e.line > 0)
            std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), e.line, e.message.c_str());
        else
            std::fprintf(stderr, "%s: %s\n", name.c_str(), e.message.c_str());
    }
    return p.errors.empty();
}

// A failed scan ends the run with zkdetect's message.
bool scanned(exchange_status status) {
    switch (status) {
    case exchange_status::listen_failed:
        std::fputs("Error listening for replies on UDP port 65002!\n", stderr);
        return false;
    case exchange_status::send_failed:
        std::fputs("Error sending request!\n", stderr);
        return false;
    case exchange_status::done:
        break;
    }
    return true;
}

// Output that can't be written is a failure, not a success with nothing to
// show. After saves, the summary still tells the operator what was done.
int put_out(const std::string& text, int status, const std::string& after_saves = {}) {
    std::string error;
    if (write_all(STDOUT_FILENO, text, error)) return status;
    std::fprintf(stderr, "zkbatch: write error: %s\n", error.c_str());
    if (!after_saves.empty()) std::fprintf(stderr, "%s\n", after_saves.c_str());
    return usage_status;
}

void warn(const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        if (!w.empty()) std::fprintf(stderr, "%s\n", w.c_str());
}

std::string report_text(const options& opts, const std::vector<row_result>& rows) {
    std::ostringstream out;
    if (opts.json) {
        write_json_report(out, rows);
    } else {
        if (opts.dry_run)
            for (const row_result& r : rows)
                if (r.result == outcome::planned) out << shown(r.message) << '\n';
        write_report(out, rows);
    }
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    const options opts = parse_options(argc, argv);
    plan p;
    // The whole plan is read and checked before anything is sent.
    if (opts.plan_path && !load_plan(*opts.plan_path, p)) return usage_status;

    progress status_line = terminal_progress();
    const network net{opts.links, opts.retries, &status_line};
    std::set<std::string> wanted;
    std::unordered_map<std::string, const plan_row*> by_mac;
    for (const plan_row& row : p.rows) {
        wanted.insert(mac_key(row.mac));
        by_mac.emplace(mac_key(row.mac), &row);
    }
    // The addresses the plan gives are probed while the scan runs; the
    // capability that ARP needs is dropped before anything is read.
    const bool probing = std::any_of(p.rows.begin(), p.rows.end(),
                                     [](const plan_row& row) { return row.ip.has_value(); });
    prober probes = open_prober(opts.links, probing);
    // Without them, a plan could give a device this host's address; the
    // conflict check refuses those, so they need no probe.
    std::vector<in_addr_t> host;
    const bool host_listed = host_addresses(host);
    const int host_error = errno;
    probes.own = host;
    scan_hooks hooks;
    if (probing) {
        hooks.answered = [&](const answer& a) {
            const auto row = by_mac.find(mac_key(a.hw));
            if (row == by_mac.end()) return;
            if (const std::optional<in_addr_t> target = new_address(*row->second, a))
                probes.start(a.link, *target, row->first);
        };
        hooks.woke = [&] { probes.wake(); };
        hooks.until = [&] { return probes.until(); };
    }
    std::vector<answer> answers;
    if (!scanned(scan(net, wanted, answers, hooks))) return usage_status;
    probes.finish();
    // Devices may have been missed on the interfaces the system did not
    // choose; the operator should know where else to look.
    const bool system_choice = opts.links.size() == 1 && opts.links[0].source == htonl(INADDR_ANY);
    const auto warn_unscanned = [&] {
        if (system_choice) warn({unscanned_warning(opts.links)});
    };

    if (opts.list) {
        warn_unscanned();
        warn(find_conflicts({}, answers, {}).warnings);
        std::ostringstream out;
        if (opts.json) {
            write_json(out, answers);
        } else {
            write_csv(out, answers);
        }
        return put_out(out.str(), 0);
    }

    if (!host_listed) {
        std::fprintf(stderr, "zkbatch: cannot list this host's addresses: %s\n",
                     std::strerror(host_error));
        return usage_status;
    }
    std::vector<row_result> rows = match(p, answers);
    if (std::any_of(rows.begin(), rows.end(),
                    [](const row_result& r) { return r.result == outcome::not_found; }))
        warn_unscanned();
    conflict_findings conflicts = find_conflicts(rows, answers, host);
    std::vector<std::string> unprobed;
    for (plan_error& e : probe_findings(rows, answers, probes, unprobed))
        conflicts.errors.push_back(std::move(e));
    std::stable_sort(conflicts.errors.begin(), conflicts.errors.end(),
                     [](const plan_error& a, const plan_error& b) { return a.line < b.line; });
    const std::string name = *opts.plan_path == "-" ? "<stdin>" : *opts.plan_path;
    for (const plan_error& e : conflicts.errors)
        std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), e.line, e.message.c_str());
    if (!conflicts.errors.empty()) return usage_status;
    warn(conflicts.warnings);
    warn(unprobed);

    if (!opts.undo_path.empty()) {
        std::vector<std::string> warnings;
        const std::string undo = undo_plan(rows, warnings);
        std::string error;
        if (!replace_file(opts.undo_path, undo, error)) {
            std::fprintf(stderr, "zkbatch: cannot write '%s': %s\n", opts.undo_path.c_str(),
                         error.c_str());
            return usage_status;
        }
        warn(warnings);
    }
    if (opts.dry_run)
        return put_out(report_text(opts, rows), report_status(rows, outcome::planned));

    save_all(net, rows);
    int status = usage_status;
    if (!opts.verify) {
        status = report_status(rows, outcome::saved);
    } else if (scanned(verify_all(net, rows))) {
        status = report_status(rows, outcome::verified);
    }
    // The outcomes are final: every row sent a set message goes to the log.
    audit_run(rows);
    // Without the verifying scan the saves are still reported.
    return put_out(report_text(opts, rows), status, summary(rows));
}
