// The inventory: every answer of a scan, as CSV or as JSON; and the undo
// file, a plan in the inventory's format that gives devices back what they
// held.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "commission.h"
#include "devices.h"

// One line per answer under a header, in the plan's column order.
void write_csv(std::ostream& out, const std::vector<answer>& answers);

// The same as a JSON array of objects; always valid JSON, whatever the
// devices sent.
void write_json(std::ostream& out, const std::vector<answer>& answers);

// One answer (or planned settings) as an object of the JSON inventory;
// interface: where it was heard.
nlohmann::ordered_json device_json(const device_entry& e, const std::string& interface);

// The undo file: for every row about to get a set message, the settings
// its device answered with, every cell filled ("none" for no nameserver).
// A setting that no plan can give back (an empty gateway, an MTU outside
// 500 to 1500, say) leaves its cell empty and adds a warning.
std::string undo_plan(const std::vector<row_result>& rows, std::vector<std::string>& warnings);
