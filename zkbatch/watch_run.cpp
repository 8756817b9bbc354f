// The watch: a scan every interval until a stop signal, and each event as
// one line of text or JSON, stamped with the time its scan ended.
#include <arpa/inet.h>

#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "audit.h"
#include "checks.h"
#include "common.h"
#include "inventory.h"
#include "privilege.h"
#include "rounds.h"
#include "runs.h"
#include "signals.h"
#include "watch.h"

namespace {

using json = nlohmann::ordered_json;

const char* kind_name(watch_kind k) {
    switch (k) {
    case watch_kind::appeared:
        return "appeared";
    case watch_kind::changed:
        return "changed";
    case watch_kind::vanished:
        return "vanished";
    case watch_kind::conflict:
        return "conflict";
    case watch_kind::resolved:
        return "resolved";
    }
    return "";
}

// UTC in ISO 8601, to the second.
std::string utc_text(std::chrono::system_clock::time_point t) {
    const std::time_t secs = std::chrono::system_clock::to_time_t(t);
    std::tm parts{};
    gmtime_r(&secs, &parts);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string on(const std::string& interface) { return interface.empty() ? "" : " on " + interface; }

// One event as a line of text: the time, the kind, the device's MAC (or
// the address), then its settings as key=value pairs, each change as
// key=old->new, and the interface.
std::string event_text(const watch_event& e, const std::string& time) {
    std::string line = time + " " + kind_name(e.kind) + " ";
    if (e.kind == watch_kind::conflict || e.kind == watch_kind::resolved) {
        line += address_text(htonl(e.address)) + on(e.holders.interface);
        for (const std::string& mac : e.holders.macs) line += " " + log_value(mac);
        return line + "\n";
    }
    line += log_value(shown(e.device.hw));
    if (e.kind == watch_kind::changed) {
        const auto was = watch_settings(e.before);
        const auto is = watch_settings(e.device);
        for (std::size_t i = 0; i < is.size(); ++i)
            for (const std::string& name : e.changed)
                if (name == is[i].first)
                    line += " " + name + "=" + log_value(was[i].second) + "->" +
                            log_value(is[i].second);
    } else {
        for (const auto& [name, value] : watch_settings(e.device))
            if (std::string(name) != "interface")
                line += std::string(" ") + name + "=" + log_value(value);
    }
    return line + on(e.device.interface) + "\n";
}

// One event as a JSON object on one line: time and event, then the
// device's settings as the inventory has them (with the old values of
// those that changed), or the address, interface and MACs of a conflict.
std::string event_json(const watch_event& e, const std::string& time) {
    json object = {{"time", time}, {"event", kind_name(e.kind)}};
    if (e.kind == watch_kind::conflict || e.kind == watch_kind::resolved) {
        object["ip"] = address_text(htonl(e.address));
        object["interface"] = e.holders.interface.empty() ? json() : json(e.holders.interface);
        object["macs"] = e.holders.macs;
    } else {
        object.update(device_json(e.device, e.device.interface));
        if (e.kind == watch_kind::changed) {
            const json before = device_json(e.before, e.before.interface);
            json old = json::object();
            for (const std::string& name : e.changed) old[name] = before[name];
            object["old"] = old;
        }
    }
    // Bytes that are no UTF-8 become U+FFFD instead of ending the run.
    return object.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace

int run_watch(const options& opts) {
    // Nothing here needs the capability that a plan's probes do.
    drop_net_raw();
    progress status_line = terminal_progress();
    const network net{opts.links, opts.retries, &status_line};
    warn({unscanned_note(opts)});
    const auto interval = std::chrono::seconds(opts.interval);
    watch_state state;
    bool scanned_once = false;
    auto start = std::chrono::steady_clock::now();
    do {
        std::vector<answer> answers;
        const exchange_status status = scan(net, {}, answers);
        // A scan that a stop signal cut short tells nothing of who is gone.
        if (stop_signal() != 0) break;
        if (!scanned(status)) {
            // One that fails later (a zkdetect holding the reply port for a
            // moment, say) is skipped; the first one fails the watch.
            if (!scanned_once) return usage_status;
        } else {
            scanned_once = true;
            const std::string time = utc_text(std::chrono::system_clock::now());
            std::string out;
            for (const watch_event& e : watch_step(state, answers))
                out += opts.json ? event_json(e, time) : event_text(e, time);
            if (put_out(out, 0) != 0) return usage_status;
        }
        // From start to start; a scan that took longer is followed at once.
        start = std::max(start + interval, std::chrono::steady_clock::now());
    } while (wait_unless_stopped(start));
    return 0;
}
