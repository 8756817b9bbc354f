#include "watch.h"

#include <optional>

#include "checks.h"
#include "devices.h"
#include "plan.h"

namespace {

// The names of the settings in which b differs from a.
std::vector<std::string> differences(const answer& a, const answer& b) {
    const auto was = watch_settings(a);
    const auto is = watch_settings(b);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < was.size(); ++i)
        if (was[i].second != is[i].second) names.emplace_back(was[i].first);
    return names;
}

// The answer of this scan for every key: the one from the address known
// already, else the first.
std::map<std::string, const answer*> by_key(const watch_state& state,
                                            const std::vector<answer>& answers) {
    std::map<std::string, const answer*> heard;
    for (const answer& a : answers) {
        const std::string key = watch_key(a);
        const auto [it, fresh] = heard.emplace(key, &a);
        if (fresh || it->second->addr == a.addr) continue;
        const auto known = state.devices.find(key);
        if (known != state.devices.end() && known->second.last.addr == a.addr) it->second = &a;
    }
    return heard;
}

// The addresses that several known devices hold on one segment.
std::map<std::pair<std::size_t, std::uint32_t>, watch_conflict> conflicts_of(
    const watch_state& state) {
    std::map<std::pair<std::size_t, std::uint32_t>, watch_conflict> held;
    for (const auto& [key, known] : state.devices) {
        const std::optional<std::uint32_t> addr = held_address(known.last);
        if (!addr) continue;
        watch_conflict& c = held[{known.last.segment, *addr}];
        if (c.macs.empty()) c.interface = known.last.interface;
        c.macs.push_back(shown(known.last.hw));
    }
    std::erase_if(held, [](const auto& entry) { return entry.second.macs.size() < 2; });
    return held;
}

watch_event device_event(watch_kind kind, const answer& device) {
    watch_event e;
    e.kind = kind;
    e.device = device;
    return e;
}

watch_event conflict_event(watch_kind kind, std::uint32_t address, const watch_conflict& holders) {
    watch_event e;
    e.kind = kind;
    e.address = address;
    e.holders = holders;
    return e;
}

}  // namespace

std::string watch_key(const answer& a) {
    if (a.hw[0]) return mac_key(a.hw);
    return address_text(a.addr) + "%" + a.interface;
}

std::vector<std::pair<const char*, std::string>> watch_settings(const answer& a) {
    return {
        {"ip", shown(a.ip)},
        {"netmask", shown(a.nm)},
        {"gateway", shown(a.gw)},
        {"dhcp", std::to_string(a.dhcp)},
        {"mtu", std::to_string(a.mtu)},
        {"nameserver", shown(a.ns)},
        {"from", address_text(a.addr)},
        {"interface", a.interface},
    };
}

std::vector<watch_event> watch_step(watch_state& state, const std::vector<answer>& answers) {
    const std::map<std::string, const answer*> heard = by_key(state, answers);
    // Device events by key, so that the order of arrival changes nothing.
    std::map<std::string, watch_event> devices;
    for (const auto& [key, a] : heard) {
        answer now = *a;
        now.next = nullptr;
        const auto [it, fresh] = state.devices.try_emplace(key, watch_device{now, 0});
        watch_device& known = it->second;
        known.missed = 0;
        if (fresh) {
            devices[key] = device_event(watch_kind::appeared, now);
            continue;
        }
        std::vector<std::string> changed = differences(known.last, now);
        if (!changed.empty()) {
            watch_event& e = devices[key] = device_event(watch_kind::changed, now);
            e.before = known.last;
            e.changed = std::move(changed);
        }
        known.last = now;
    }
    for (auto it = state.devices.begin(); it != state.devices.end();) {
        if (heard.count(it->first) || ++it->second.missed < vanish_after) {
            ++it;
            continue;
        }
        devices[it->first] = device_event(watch_kind::vanished, it->second.last);
        it = state.devices.erase(it);
    }

    // Conflicts, once the devices are up to date: new or with new holders,
    // and ended, in order of segment and address.
    auto now = conflicts_of(state);
    std::map<std::pair<std::size_t, std::uint32_t>, watch_event> changes;
    for (const auto& [at, c] : now) {
        const auto was = state.conflicts.find(at);
        if (was == state.conflicts.end() || was->second.macs != c.macs)
            changes[at] = conflict_event(watch_kind::conflict, at.second, c);
    }
    for (const auto& [at, c] : state.conflicts)
        if (!now.count(at)) changes[at] = conflict_event(watch_kind::resolved, at.second, c);
    state.conflicts = std::move(now);

    std::vector<watch_event> events;
    events.reserve(devices.size() + changes.size());
    for (auto& [key, e] : devices) events.push_back(std::move(e));
    for (auto& [at, e] : changes) events.push_back(std::move(e));
    return events;
}
