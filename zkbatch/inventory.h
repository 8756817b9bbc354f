// The inventory: every answer of a scan, as CSV or as JSON.
#pragma once

#include <ostream>
#include <vector>

#include "devices.h"

// One line per answer under a header, in the plan's column order.
void write_csv(std::ostream& out, const std::vector<device_entry>& answers);

// The same as a JSON array of objects; always valid JSON, whatever the
// devices sent.
void write_json(std::ostream& out, const std::vector<device_entry>& answers);
