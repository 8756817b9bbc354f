// The watch's events as the watch prints them and the server streams them:
// a line of text, or a JSON object on one line, stamped with the time its
// scan ended.
#pragma once

#include <chrono>
#include <string>

#include "watch.h"

// appeared, changed, vanished, conflict or resolved.
const char* kind_name(watch_kind k);

// UTC in ISO 8601, to the second.
std::string utc_text(std::chrono::system_clock::time_point t);

// One event as a line of text: the time, the kind, the device's MAC (or
// the address), then its settings as key=value pairs, each change as
// key=old->new, and the interface.
std::string event_text(const watch_event& e, const std::string& time);

// One event as a JSON object on one line: time and event, then the
// device's settings as the inventory has them (with the old values of
// those that changed), or the address, interface and MACs of a conflict.
std::string event_json(const watch_event& e, const std::string& time);
