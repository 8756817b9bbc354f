#include "watch_format.h"

#include <arpa/inet.h>

#include <ctime>
#include <nlohmann/json.hpp>

#include "audit.h"
#include "checks.h"
#include "inventory.h"

namespace {

using json = nlohmann::ordered_json;

std::string on(const std::string& interface) { return interface.empty() ? "" : " on " + interface; }

}  // namespace

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

std::string utc_text(std::chrono::system_clock::time_point t) {
    const std::time_t secs = std::chrono::system_clock::to_time_t(t);
    std::tm parts{};
    gmtime_r(&secs, &parts);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

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
