// The body of a save through the server: a JSON object of the settings to
// give one device, by the plan's column names, each checked by zkdetect's
// own rules and refused in its words.
#pragma once

#include <string>
#include <string_view>

#include "plan.h"

struct settings_error {
    std::string field;  // the setting refused, "" when the body as a whole is
    std::string message;
};

// Reads body into row (whose mac the caller sets): ip, netmask, gateway
// (dotted quads as zkdetect's prompts take them), dhcp (true, false, 0, 1,
// "yes", "no"), mtu (500 to 1500, a number or its digits) and nameserver
// (one word; "" or "none" clears it). A key given as null keeps the
// device's value. false, with the first problem in error, for a body that
// is no JSON object, an unknown key or a value refused.
bool read_settings(std::string_view body, plan_row& row, settings_error& error);
