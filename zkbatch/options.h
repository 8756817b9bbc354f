// zkbatch's command line.
#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>

constexpr int usage_status = 2;

struct options {
    bool list = false, json = false, dry_run = false, verify = false;
    in_addr_t source = htonl(INADDR_ANY);
    int retries = 0;
    std::optional<std::string> plan_path;  // none with --list
    std::string undo_path;                 // empty: no undo file
};

// Reads the whole command line; prints the usage or the version and exits
// 0 on --help and --version, and exits with usage_status on anything it
// can't take, so nothing is sent on a half-understood command.
options parse_options(int argc, char** argv);
