// The watch without the network: what one scan tells about the devices the
// watch knows, as events. No output and no clock; the caller stamps the
// events and prints them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "commission.h"

// A device is no longer there once this many scans in a row went
// unanswered.
constexpr int vanish_after = 3;

// One device the watch knows: its latest answer, and the scans in a row
// since then that it did not answer.
struct watch_device {
    answer last;
    int missed = 0;
};

// An address that several devices on one segment hold: where it was heard,
// and the holders' MACs as the devices report them, in key order.
struct watch_conflict {
    std::string interface;
    std::vector<std::string> macs;
};

// Everything the watch remembers between scans: one entry per device (by
// watch_key) and per conflict (by segment and address, host byte order).
// Nothing grows with the time the watch runs.
struct watch_state {
    std::map<std::string, watch_device> devices;
    std::map<std::pair<std::size_t, std::uint32_t>, watch_conflict> conflicts;
};

enum class watch_kind { appeared, changed, vanished, conflict, resolved };

struct watch_event {
    watch_kind kind = watch_kind::appeared;
    // Device events: its answer (for vanished, the last one), and for
    // changed the answer before and the settings that differ, by name.
    answer device;
    answer before;
    std::vector<std::string> changed;
    // Conflict events: the address (host byte order) and its holders; for
    // resolved, those of the conflict that ended.
    std::uint32_t address = 0;
    watch_conflict holders;
};

// How the watch tells devices apart: by MAC address (as mac_key writes it),
// so that one answering from a new address is the same device; one that
// reports no MAC by the address and interface it answered from.
std::string watch_key(const answer& a);

// A device's settings as named texts, in the inventory's order: ip,
// netmask, gateway, dhcp (0 or 1), mtu, nameserver, from, interface.
std::vector<std::pair<const char*, std::string>> watch_settings(const answer& a);

// Takes one complete scan's answers into state and returns what happened:
// devices that appeared, changed or vanished (after vanish_after scans
// without an answer; then forgotten), in key order, then conflicts that
// began or whose holders changed, and conflicts that ended, in order of
// segment and address. Two devices conflict as find_conflicts warns of
// it: one address on one segment, DHCP off; a device counts with its last
// answer until it vanishes. Of answers with one key, the one from the
// address known already counts, else the first.
std::vector<watch_event> watch_step(watch_state& state, const std::vector<answer>& answers);
