// zkbatch's command line.
#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>
#include <vector>

#include "links.h"

constexpr int usage_status = 2;

struct options {
    bool list = false, json = false, dry_run = false, verify = false;
    bool yes = false;              // no question before a bulk change
    std::vector<scan_link> links;  // where to scan; never empty
    int retries = 0;
    std::optional<std::string> plan_path;  // none with --list
    std::string undo_path;                 // empty: no undo file
};

// Reads the whole command line; prints the usage or the version and exits
// 0 on --help and --version, and exits with usage_status on anything it
// can't take, so nothing is sent on a half-understood command.
options parse_options(int argc, char** argv);
