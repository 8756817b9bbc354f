// A plan run: the scan with its probes, the checks, the question, the undo
// file, the saves, the verifying scan, the audit records and the report;
// and what is left of them when a stop signal comes.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "audit.h"
#include "checks.h"
#include "common.h"
#include "files.h"
#include "host.h"
#include "inventory.h"
#include "probe.h"
#include "report.h"
#include "rounds.h"
#include "runs.h"
#include "signals.h"
#include "steps.h"

namespace {

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

// Conflicts that devices or other hosts make: printed as plan errors, and
// then nothing may be sent. Warns about the addresses not probed.
bool refused(const options& opts, std::vector<row_result>& rows, const std::vector<answer>& answers,
             const prober& probes, const std::vector<in_addr_t>& host) {
    const conflict_findings conflicts = refusals(rows, answers, probes, host);
    const std::string name = plan_name(*opts.plan_path);
    for (const plan_error& e : conflicts.errors)
        std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), e.line, e.message.c_str());
    if (!conflicts.errors.empty()) return true;
    warn(conflicts.warnings);
    return false;
}

// One line of standard input, without waiting past a stop signal.
std::string answer_line() {
    std::string line;
    char c = 0;
    while (read(STDIN_FILENO, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

// A bulk change on a terminal deserves one look before it goes out: true
// when the operator answers y or yes. Off a terminal nothing is asked, so
// scripts run as they did.
bool go_ahead(const options& opts, const std::vector<row_result>& rows) {
    const auto [devices, moved] = size_of(rows);
    if (opts.yes || devices == 0 || !isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) return true;
    std::fprintf(stderr, "About to change %zu device%s (%zu new address%s); %s.\n", devices,
                 devices == 1 ? "" : "s", moved, moved == 1 ? "" : "es",
                 opts.undo_path.empty() ? "no undo file (--undo FILE writes one)"
                                        : ("undo file " + opts.undo_path).c_str());
    std::fputs("Send the set messages? [y/N] ", stderr);
    std::string reply = answer_line();
    reply.erase(0, reply.find_first_not_of(" \t\r"));
    reply.erase(reply.find_last_not_of(" \t\r") + 1);
    for (char& c : reply) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return reply == "y" || reply == "yes";
}

// The record of a run that a stop signal ended during the saves: the log,
// the report as far as it is known, then the end by that signal.
[[noreturn]] void end_interrupted(const options& opts, std::vector<row_result>& rows, int sig) {
    interrupted(rows);
    audit_run(rows);
    put_out(report_text(opts, rows), 0, summary(rows));
    end_by_signal(sig);
}

}  // namespace

int run_plan(const options& opts) {
    plan p;
    // The whole plan is read and checked before anything is sent.
    if (!load_plan(*opts.plan_path, p)) return usage_status;
    progress status_line = terminal_progress();
    const network net{opts.links, opts.retries, &status_line};
    // Without them, a plan could give a device this host's address.
    std::vector<in_addr_t> host;
    const bool host_listed = host_addresses(host);
    const int host_error = errno;
    // The capability that ARP needs is dropped before anything is read.
    prober probes = open_prober(net.links, probing(p));
    // This host's addresses are the conflict check's to refuse.
    probes.own = host;
    std::vector<answer> answers;
    const exchange_status scan_status = scan_for(p, net, probes, answers);
    // The saves need no packet sockets.
    probes.arp.clear();
    if (!scanned(scan_status)) return usage_status;
    // Before anything is sent, a stop signal ends the run as it is.
    if (const int sig = stop_signal()) end_by_signal(sig);
    if (!host_listed) {
        std::fprintf(stderr, "zkbatch: cannot list this host's addresses: %s\n",
                     std::strerror(host_error));
        return usage_status;
    }
    std::vector<row_result> rows = match(p, answers);
    if (std::any_of(rows.begin(), rows.end(),
                    [](const row_result& r) { return r.result == outcome::not_found; }))
        warn({unscanned_note(opts)});
    if (refused(opts, rows, answers, probes, host)) return usage_status;

    if (!opts.dry_run && !go_ahead(opts, rows)) {
        if (const int sig = stop_signal()) end_by_signal(sig);
        std::fputs("zkbatch: nothing sent\n", stderr);
        return 1;
    }
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
    if (const int sig = stop_signal()) end_by_signal(sig);

    save_all(net, rows);
    if (const int sig = stop_signal()) end_interrupted(opts, rows, sig);
    int status = usage_status;
    if (!opts.verify) {
        status = report_status(rows, outcome::saved);
    } else if (scanned(verify_all(net, rows))) {
        if (const int sig = stop_signal()) end_interrupted(opts, rows, sig);
        status = report_status(rows, outcome::verified);
    }
    // The outcomes are final: every row sent a set message goes to the log.
    audit_run(rows);
    // Without the verifying scan the saves are still reported.
    return put_out(report_text(opts, rows), status, summary(rows));
}
