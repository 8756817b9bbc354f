// The report: one line per plan row, then a summary; or the same as one
// JSON document.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "commission.h"

const char* outcome_name(outcome o);

// What the report says in parentheses after a row: what went wrong, what
// the confirmation said of a verified row, how many tries it needed, and
// (with_probe) whether its new address was probed for other hosts.
std::string notes(const row_result& r, bool with_probe = true);

// The summary line, e.g. "3 rows: 2 verified, 1 differs".
std::string summary(const std::vector<row_result>& rows);

void write_report(std::ostream& out, const std::vector<row_result>& rows);

// One row of the JSON report: line, mac, outcome, tries, before, after,
// message, probe and detail.
nlohmann::ordered_json row_json(const row_result& r);

// The JSON report: its rows, and the count of each outcome.
nlohmann::ordered_json report_json(const std::vector<row_result>& rows);

void write_json_report(std::ostream& out, const std::vector<row_result>& rows);

// 0 when every row reached goal (planned, saved or verified) or needed
// nothing, 1 otherwise.
int report_status(const std::vector<row_result>& rows, outcome goal);
