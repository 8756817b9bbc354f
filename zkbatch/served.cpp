#include "served.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "inventory.h"
#include "plan.h"

namespace {

using json = nlohmann::ordered_json;

bool in_conflict(const answer& a, const watch_state& watch) {
    const std::string mac = shown(a.hw);
    return std::any_of(watch.conflicts.begin(), watch.conflicts.end(), [&](const auto& c) {
        return std::find(c.second.macs.begin(), c.second.macs.end(), mac) != c.second.macs.end();
    });
}

}  // namespace

const char* state_name(const served_device& dev, const watch_state& watch) {
    if (dev.kind == watch_kind::vanished) return "vanished";
    if (in_conflict(dev.last, watch)) return "conflict";
    return dev.kind == watch_kind::changed ? "changed" : "new";
}

std::vector<watch_event> device_table::take(const std::vector<answer>& answers,
                                            const std::string& time) {
    std::vector<watch_event> events = watch_step(watch, answers);
    for (const watch_event& e : events) {
        if (e.kind == watch_kind::conflict || e.kind == watch_kind::resolved) continue;
        served_device& dev = devices[watch_key(e.device)];
        dev.last = e.device;
        dev.kind = e.kind;
        dev.changed = e.changed;
    }
    for (const auto& [key, device] : watch.devices)
        if (device.missed == 0) devices[key].seen = time;
    auto list = json::array();
    for (const auto& [key, dev] : devices) {
        json object = device_json(dev.last, dev.last.interface);
        object["state"] = state_name(dev, watch);
        object["changed"] = dev.changed;
        object["last_seen"] = dev.seen;
        list.push_back(std::move(object));
    }
    json_text = list.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    return events;
}

const answer* device_table::known(const std::string& mac) const {
    const auto it = watch.devices.find(mac);
    return it == watch.devices.end() ? nullptr : &it->second.last;
}

std::string device_table::csv() const {
    std::vector<answer> present;
    for (const auto& [key, dev] : devices)
        if (dev.kind != watch_kind::vanished) present.push_back(dev.last);
    std::ostringstream out;
    write_csv(out, present);
    return out.str();
}
