// zkbatch's command line.
#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>
#include <vector>

#include "links.h"

constexpr int usage_status = 2;
// The watch's seconds between scans: a scan takes 3.
constexpr int default_interval = 10, min_interval = 3, max_interval = 86400;

struct options {
    bool list = false, json = false, dry_run = false, verify = false;
    bool yes = false;                 // no question before a bulk change
    bool watch = false;               // scan again and again, printing what changed
    bool serve = false;               // the watch and the HTTP server, until stopped
    std::string listen;               // the server's [ADDR:]PORT
    int interval = default_interval;  // seconds from the start of one scan to the next
    std::vector<scan_link> links;     // where to scan; never empty
    int retries = 0;
    std::optional<std::string> plan_path;  // none with --list, --watch or --serve
    std::string undo_path;                 // empty: no undo file
};

// Reads the whole command line; prints the usage or the version and exits
// 0 on --help and --version, and exits with usage_status on anything it
// can't take, so nothing is sent on a half-understood command.
options parse_options(int argc, char** argv);
