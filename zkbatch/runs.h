// zkbatch's runs, which main chooses between, and what they share.
#pragma once

#include <string>
#include <vector>

#include "exchange.h"
#include "options.h"
#include "plan.h"

// The inventory: one scan, every answer as CSV or JSON.
int run_list(const options& opts);

// The watch: a scan every interval, each change printed as it is seen,
// until a stop signal ends it with status 0.
int run_watch(const options& opts);

// A plan applied: scan, check, ask, save, verify, report.
int run_plan(const options& opts, const plan& p);

// False, after zkdetect's message on standard error, when a scan failed.
bool scanned(exchange_status status);

// Writes text to standard output and returns status; a write that fails
// is no success: status 2 after a message, and after saves the summary on
// standard error, so that what was done is known.
int put_out(const std::string& text, int status, const std::string& after_saves = {});

// Each non-empty warning on a line of standard error.
void warn(const std::vector<std::string>& warnings);

// Why a run scanning only the system's choice may have missed devices, as
// a warning; none when the options named the interfaces.
std::string unscanned_note(const options& opts);
