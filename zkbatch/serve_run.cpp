// The server: the watch and an HTTP server in one loop on one thread. The
// loop runs one job at a time (a watch scan, a save, an undo, a plan) and
// serves HTTP during every wait of a job and between jobs; a request that
// needs the network waits, suspended, for its job.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common.h"
#include "http_server.h"
#include "jobs.h"
#include "privilege.h"
#include "runs.h"
#include "signals.h"
#include "watch_format.h"

namespace {

using steady = std::chrono::steady_clock;

// A stream with nothing to say sends a comment this often, so that a page
// that went away is noticed.
constexpr std::chrono::seconds keepalive{30};

// An event as the stream sends it: its JSON line, and as its id the moment
// it was seen (a watch event: when its scan ended), in milliseconds since
// the epoch, so that a page can tell how long it took to come.
std::string framed(const std::string& json_line,
                   std::chrono::system_clock::time_point when = std::chrono::system_clock::now()) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    return sse_frame(json_line, std::to_string(ms));
}

// The names a Host header may give: the listening address, and this host's
// own names for itself.
std::vector<std::string> host_names(const listen_address& where) {
    std::vector<std::string> names = {"localhost", "127.0.0.1", "[::1]"};
    if (std::find(names.begin(), names.end(), where.host) == names.end())
        names.push_back(where.host);
    return names;
}

void release(server_state& s, const job& j) {
    if (!j.mac.empty()) s.busy.erase(j.mac);
    if (j.kind == job_kind::apply)
        for (const plan_row& row : j.p.rows) s.busy.erase(mac_key(row.mac));
}

}  // namespace

int run_serve(const options& opts) {
    // The probes' packet sockets are opened now, while CAP_NET_RAW may be
    // raised, and kept: the server holds no capability while it serves.
    arp_sockets arp = open_arp_sockets(opts.links, true);
    listen_address where;
    std::string error;
    parse_listen(opts.listen, where, error);
    server_state state;
    state.policy.token = token_text();
    state.policy.hosts = host_names(where);
    if (state.policy.token.empty()) {
        std::fputs("zkbatch: the system gives no random bytes for the token\n", stderr);
        return usage_status;
    }
    http_server h;
    h.policy = &state.policy;
    h.handle = [&](const web_request& req) { return route(state, req); };
    h.opened = [&](sse_client& client) {
        // Every device the watch knows, as if it had just appeared.
        for (const auto& [key, known] : state.table.watch.devices) {
            watch_event e;
            e.device = known.last;
            std::string line = event_json(e, state.table.devices[key].seen);
            line.pop_back();  // its line feed
            client.push(framed(line));
        }
    };
    if (!http_start(h, where, error)) {
        std::fprintf(stderr, "zkbatch: %s\n", error.c_str());
        return usage_status;
    }
    if (!drop_all_capabilities()) {
        std::fputs("zkbatch: cannot drop the capabilities before serving\n", stderr);
        return usage_status;
    }
    warn({unscanned_note(opts)});
    if (!where.loopback)
        std::fprintf(stderr,
                     "zkbatch: warning: %s is no loopback address: requests, answers and the token "
                     "cross the network as plain HTTP (an SSH tunnel to 127.0.0.1 is safer)\n",
                     where.host.c_str());
    std::fprintf(stderr, "zkbatch: serving http://%s/?token=%s\n", where.text.c_str(),
                 state.policy.token.c_str());

    const side_wait side{http_fd(h), [&] { return http_timeout(h); }, [&] { http_run(h); }};
    progress quiet;
    progress status_line;
    status_line.on = true;
    // An empty text ends a phase, and clears the page's line.
    status_line.sink = [&](const std::string& text) {
        const auto now = std::chrono::system_clock::now();
        const nlohmann::ordered_json e = {
            {"time", utc_text(now)}, {"event", "progress"}, {"text", text}};
        http_broadcast(
            h, framed(e.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), now));
    };
    const network watching{opts.links, opts.retries, &quiet, &side};
    const job_context ctx{{opts.links, opts.retries, &status_line, &side}, &arp, opts.undo_path};

    const auto interval = std::chrono::seconds(opts.interval);
    auto next_scan = steady::now();
    auto next_ping = steady::now() + keepalive;
    bool scanned_once = false;
    int status = 0;
    bool cut_short = false;
    while (stop_signal() == 0) {
        if (!state.queue.empty()) {
            job j = std::move(state.queue.front());
            state.queue.pop_front();
            const job_result done = run_job(state, j, ctx);
            release(state, j);
            if (!done.report.empty()) put_out(done.report, 0);
            http_answer(h, j.ticket, done.answer);
            http_run(h);
            cut_short = done.interrupted;
            // What a change did is seen at once.
            next_scan = steady::now();
            continue;
        }
        const auto now = steady::now();
        if (now >= next_scan) {
            std::vector<answer> answers;
            const exchange_status scan_status = scan(watching, {}, answers);
            // A scan that a stop signal cut short tells nothing of who is gone.
            if (stop_signal() != 0) break;
            if (!scanned(scan_status)) {
                // As in the watch: the first scan that fails ends the server.
                if (!scanned_once) {
                    status = usage_status;
                    break;
                }
            } else {
                scanned_once = true;
                const auto ended = std::chrono::system_clock::now();
                const std::string time = utc_text(ended);
                std::string out;
                for (const watch_event& e : state.table.take(answers, time)) {
                    std::string line = event_json(e, time);
                    line.pop_back();  // its line feed
                    out += framed(line, ended);
                }
                if (!out.empty()) http_broadcast(h, out);
                http_run(h);
            }
            next_scan = std::max(now + interval, steady::now());
            continue;
        }
        if (now >= next_ping) {
            http_broadcast(h, sse_keepalive);
            next_ping = now + keepalive;
        }
        auto until = std::min(next_scan, next_ping);
        if (const auto wait = http_timeout(h); wait.count() >= 0)
            until = std::min(until, now + wait);
        wait_unless_stopped(until, http_fd(h));
        http_run(h);
    }
    http_stop(h, error_response(503, "zkbatch is stopping"), std::chrono::milliseconds(500));
    if (cut_short) end_by_signal(stop_signal());
    return status;
}
