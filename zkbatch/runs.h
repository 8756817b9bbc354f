// zkbatch's modes, which main chooses between.
#pragma once

#include "options.h"

// The inventory: one scan, every answer as CSV or JSON.
int run_list(const options& opts);

// The watch: a scan every interval, each change printed as it is seen,
// until a stop signal ends it with status 0.
int run_watch(const options& opts);

// A plan applied: read and checked, then scan, check, ask, save, verify,
// report.
int run_plan(const options& opts);

// The server: the watch, and the devices, their edits and plans over HTTP,
// until a stop signal ends it.
int run_serve(const options& opts);
