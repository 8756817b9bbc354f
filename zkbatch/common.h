// What zkbatch's modes share: the messages of a failed scan, standard
// output checked to the end, warnings, and the plan read from its file.
#pragma once

#include <string>
#include <vector>

#include "exchange.h"
#include "options.h"
#include "plan.h"

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

// The plan at path ("-": standard input), read and checked as a whole;
// false (after the messages on standard error) when it can't be used.
bool load_plan(const std::string& path, plan& p);

// How messages about the plan at path name it.
std::string plan_name(const std::string& path);
