#include "jobs.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "audit.h"
#include "csv.h"
#include "files.h"
#include "host.h"
#include "inventory.h"
#include "report.h"
#include "signals.h"
#include "steps.h"

namespace {

using json = nlohmann::ordered_json;

web_response json_answer(int status, const json& doc) {
    web_response r;
    r.status = status;
    r.body = doc.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    return r;
}

json errors_json(const std::vector<plan_error>& errors) {
    auto list = json::array();
    for (const plan_error& e : errors) list.push_back({{"line", e.line}, {"message", e.message}});
    return list;
}

// The message of a failed scan, in zkdetect's words.
std::string scan_failure(exchange_status status) {
    return status == exchange_status::listen_failed
               ? "Error listening for replies on UDP port 65002!"
               : "Error sending request!";
}

// Keeps what each planned row's device holds now as its undo record, and
// writes them all to the undo file, if there is one. false, with the
// reason, when that file can't be written.
bool record_undo(server_state& s, const std::vector<row_result>& rows, const std::string& path,
                 std::string& error) {
    for (const row_result& r : rows) {
        if (r.result != outcome::planned) continue;
        std::vector<std::string> warnings;
        s.undo[mac_key(r.row->mac)] = undo_plan({r}, warnings);
    }
    if (path.empty()) return true;
    std::string text;
    for (const auto& [mac, record] : s.undo)
        text += text.empty() ? record : record.substr(record.find('\n') + 1);
    return replace_file(path, text, error);
}

// The report as CSV: per row its line, MAC, outcome and tries, each
// setting before and after, and the notes.
std::string report_csv(const std::vector<row_result>& rows) {
    static const char* const names[] = {"ip", "netmask", "gateway", "dhcp", "mtu", "nameserver"};
    std::string out = "line,mac,outcome,tries";
    for (const char* name : names) out += std::string(",old_") + name + ",new_" + name;
    out += ",detail\n";
    for (const row_result& r : rows) {
        const json row = row_json(r);
        out += std::to_string(r.row->line) + "," + csv_field(r.row->mac) + "," +
               csv_field(outcome_name(r.result)) + "," + std::to_string(r.tries);
        for (const char* name : names)
            for (const char* side : {"before", "after"}) {
                const json& v = row[side].is_null() ? json() : row[side][name];
                out += "," + csv_field(v.is_string() ? v.get<std::string>()
                                       : v.is_null() ? std::string()
                                                     : v.dump());
            }
        out += "," + csv_field(notes(r)) + "\n";
    }
    return out;
}

std::string report_text(const std::vector<row_result>& rows) {
    std::ostringstream out;
    write_report(out, rows);
    return out.str();
}

// The answer once the rows' outcomes are final: a save's or an undo's row,
// or the whole report of a plan, as JSON and as CSV, with its undo file.
web_response decided(const job& j, const std::vector<row_result>& rows, const std::string& undo) {
    if (j.kind != job_kind::apply) return json_answer(200, row_json(rows.front()));
    json doc = report_json(rows);
    doc["report_csv"] = report_csv(rows);
    doc["undo"] = undo;
    return json_answer(200, doc);
}

}  // namespace

job_result run_job(server_state& s, const job& j, const job_context& ctx) {
    job_result out;
    std::vector<in_addr_t> host;
    if (!host_addresses(host)) {
        out.answer = error_response(
            500, std::string("cannot list this host's addresses: ") + std::strerror(errno));
        return out;
    }
    prober probes = prober_with(ctx.net.links, std::move(*ctx.arp));
    probes.own = host;
    std::vector<answer> answers;
    const exchange_status scanned = scan_for(j.p, ctx.net, probes, answers);
    *ctx.arp = {std::move(probes.arp), probes.arp_errors};
    if (stop_signal() != 0) {
        out.interrupted = true;
        out.answer = error_response(503, "stopped before anything was sent");
        return out;
    }
    if (scanned != exchange_status::done) {
        out.answer = error_response(503, scan_failure(scanned));
        return out;
    }
    std::vector<row_result> rows = match(j.p, answers);
    const conflict_findings found = refusals(rows, answers, probes, host);
    if (j.kind == job_kind::dry_run) {
        json doc = report_json(rows);
        const change_size size = size_of(rows);
        doc["errors"] = errors_json(found.errors);
        doc["warnings"] = found.warnings;
        doc["apply"] = {{"devices", size.devices}, {"new_addresses", size.moved}};
        out.answer = json_answer(200, doc);
        return out;
    }
    if (!found.errors.empty()) {
        out.answer = json_answer(
            409, {{"error", found.errors.front().message}, {"errors", errors_json(found.errors)}});
        return out;
    }
    if (j.kind != job_kind::apply && rows.front().result == outcome::invalid) {
        const std::string& why = rows.front().detail;
        out.answer = json_answer(400, {{"error", why}, {"field", field_of(why)}});
        return out;
    }
    std::string error;
    if (!record_undo(s, rows, ctx.undo_path, error)) {
        out.answer = error_response(500, "cannot write '" + ctx.undo_path + "': " + error);
        return out;
    }
    std::vector<std::string> warnings;
    const std::string undo = undo_plan(rows, warnings);
    if (stop_signal() == 0) save_all(ctx.net, rows);
    if (stop_signal() == 0) verify_all(ctx.net, rows);
    out.interrupted = stop_signal() != 0;
    if (out.interrupted) interrupted(rows);
    audit_run(rows, j.peer);
    out.report = report_text(rows);
    out.answer = decided(j, rows, undo);
    return out;
}
