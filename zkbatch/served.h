// What the server knows of the devices: the watch's own state, and every
// device a scan saw, vanished ones too, with the last event about it. Its
// JSON is made once per scan, so that every request for it costs a copy.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "watch.h"

struct served_device {
    answer last;
    watch_kind kind = watch_kind::appeared;  // appeared, changed or vanished
    std::vector<std::string> changed;        // of the last change, by name
    std::string seen;                        // when a scan last heard it
};

struct device_table {
    watch_state watch;
    std::map<std::string, served_device> devices;  // by watch_key
    std::string json_text;                         // the inventory, with states

    // Takes one complete scan, ended at time (UTC), as the watch does, and
    // returns its events.
    std::vector<watch_event> take(const std::vector<answer>& answers, const std::string& time);

    // The device with this MAC (mac_key) that the watch knows now.
    const answer* known(const std::string& mac) const;

    // The inventory as CSV, vanished devices left out.
    std::string csv() const;
};

// The state the table shows for d: "vanished", "conflict" (it holds an
// address another device holds too), "changed" or "new".
const char* state_name(const served_device& dev, const watch_state& watch);
