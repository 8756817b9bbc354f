#include "routes.h"

#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

#include "commission.h"
#include "page.h"
#include "settings_body.h"

namespace {

using json = nlohmann::ordered_json;

web_response text(std::string body, std::string_view type, bool api = true) {
    web_response r;
    r.type = type;
    r.body = std::move(body);
    r.api = api;
    return r;
}

web_response json_response(int status, const json& doc) {
    web_response r =
        text(doc.dump(-1, ' ', false, json::error_handler_t::replace) + "\n", "application/json");
    r.status = status;
    return r;
}

routed now(web_response r) { return {std::move(r), false, false}; }

routed queued(server_state& s, job j) {
    s.queue.push_back(std::move(j));
    return {{}, true, false};
}

bool starts(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The device a path names after prefix, as mac_key writes it; an answer
// instead when it names none the scans know, or a save of it is running.
bool device_of(const server_state& s, std::string_view mac, std::string& key, routed& refused) {
    if (cell_problem(col_mac, mac)) {
        refused = now(
            error_response(400, "'" + std::string(mac.substr(0, 40)) + "' is not a MAC address"));
        return false;
    }
    key = mac_key(mac);
    if (!s.table.known(key)) {
        refused = now(error_response(404, "no scan has seen " + key));
        return false;
    }
    if (s.busy.count(key)) {
        refused = now(error_response(409, "a change of " + key + " is still queued or running"));
        return false;
    }
    return true;
}

routed save(server_state& s, const web_request& req, std::string_view mac) {
    std::string key;
    routed refused;
    if (!device_of(s, mac, key, refused)) return refused;
    plan_row row;
    settings_error error;
    if (!read_settings(req.body, row, error))
        return now(json_response(400, {{"error", error.message}, {"field", error.field}}));
    row.mac = mac;
    row.line = 1;
    job j{job_kind::save, key, {}, req.peer, req.ticket};
    j.p.rows.push_back(std::move(row));
    // The checks before a save, on what the device said last: a value that
    // zkdetect refuses is refused at once. The job checks again after its
    // own scan.
    const std::vector<answer> last{*s.table.known(key)};
    const std::vector<row_result> rows = match(j.p, last);
    if (rows[0].result == outcome::invalid)
        return now(
            json_response(400, {{"error", rows[0].detail}, {"field", field_of(rows[0].detail)}}));
    s.busy.insert(key);
    return queued(s, std::move(j));
}

routed undo(server_state& s, const web_request& req, std::string_view mac) {
    std::string key;
    routed refused;
    if (!device_of(s, mac, key, refused)) return refused;
    const auto it = s.undo.find(key);
    if (it == s.undo.end())
        return now(error_response(404, "no change of " + key + " through this server to undo"));
    job j{job_kind::undo, key, read_plan(it->second), req.peer, req.ticket};
    s.busy.insert(key);
    return queued(s, std::move(j));
}

routed plan_upload(server_state& s, const web_request& req) {
    const bool dry = req.dry_run == "1";
    job j{dry ? job_kind::dry_run : job_kind::apply, {}, read_plan(req.body), req.peer, req.ticket};
    if (!j.p.errors.empty()) {
        auto errors = json::array();
        for (const plan_error& e : j.p.errors)
            errors.push_back({{"line", e.line}, {"message", e.message}});
        const plan_error& first = j.p.errors.front();
        const std::string where = first.line > 0 ? "line " + std::to_string(first.line) + ": " : "";
        return now(json_response(400, {{"error", where + first.message}, {"errors", errors}}));
    }
    if (j.p.rows.size() > max_plan_rows)
        return now(
            error_response(413, "a plan holds at most " + std::to_string(max_plan_rows) + " rows"));
    if (!dry) {
        for (const plan_row& row : j.p.rows)
            if (s.busy.count(mac_key(row.mac)))
                return now(error_response(
                    409, "a change of " + mac_key(row.mac) + " is still queued or running"));
        for (const plan_row& row : j.p.rows) s.busy.insert(mac_key(row.mac));
    }
    return queued(s, std::move(j));
}

}  // namespace

std::string field_of(const std::string& refusal) {
    if (starts(refusal, "Failed: ip address and gateway")) return "gateway";
    for (const char* field : {"ip", "netmask", "gateway"}) {
        std::string name = field;
        if (starts(refusal, "Failed: " + name) || starts(refusal, name + " ")) return name;
    }
    return {};
}

routed route(server_state& s, const web_request& req) {
    const std::string_view path = req.path;
    if (req.method == "GET" || req.method == "HEAD") {
        if (const page_file* f = page_file_at(path))
            return now(text(std::string(f->text), f->type, false));
        if (path == "/api/devices") return now(text(s.table.json_text, "application/json"));
        if (path == "/api/devices.csv") return now(text(s.table.csv(), "text/csv; charset=utf-8"));
        // A stream has no head to give.
        if (path == "/api/events" && req.method == "GET") return {{}, false, true};
    }
    if (req.method == "POST") {
        if (req.body.size() > max_body) return now(error_response(413, "the body is over 1 MiB"));
        if (starts(path, "/api/devices/")) return save(s, req, path.substr(13));
        if (starts(path, "/api/undo/")) return undo(s, req, path.substr(10));
        if (path == "/api/plan") return plan_upload(s, req);
    }
    const bool exists = page_file_at(path) || path == "/api/devices" ||
                        path == "/api/devices.csv" || path == "/api/events" ||
                        path == "/api/plan" || starts(path, "/api/devices/") ||
                        starts(path, "/api/undo/");
    if (exists)
        return now(error_response(405, "method " + req.method.substr(0, 16) + " not allowed here"));
    return now(error_response(404, "no such page"));
}
