// zkdevice's command line: global options and the devices with their own.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "device_model.h"

namespace sim {

struct options {
    std::string log_path;  // empty: standard output
    std::string ready_path;
    bool verbose = false;
    long burst = 0;
    int burst_at_ms = -1;  // millisecond of a second the burst starts at; -1: at once
    std::vector<in_port_t> hold_ports;
    std::string state_path;             // empty: no state file
    int loss_percent = 0;               // share of datagrams each device ignores
    std::optional<std::uint64_t> seed;  // empty: taken from the clock
    bool move = false;                  // devices move on this host (moves.h)
    std::vector<device> devices;
};

// Reads the whole command line; prints the usage and exits 0 on --help, and
// dies on any bad option or value, so nothing starts on a half-read line.
options parse_options(int argc, char** argv);

// The usage text of --help.
void print_usage(std::FILE* out);

// Reports message on standard error and exits with status 2.
[[noreturn]] void die(const std::string& message);

}  // namespace sim
