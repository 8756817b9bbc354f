// The report: one line per plan row, then a summary.
#pragma once

#include <ostream>
#include <vector>

#include "commission.h"

const char* outcome_name(outcome o);

// Writes the report; returns the exit status: 0 when every row reached
// goal (planned, saved or verified), 1 otherwise.
int write_report(std::ostream& out, const std::vector<row_result>& rows, outcome goal);
