// The device choice and the configuration menu.
#pragma once

#include <netinet/in.h>

#include <cstdio>

// Lets the operator choose a device (num_devs >= 1) and edit it; ends by
// quit, save or the end of input. Returns the run's exit status.
int run_menu(in_addr_t source, in_addr_t destination, std::FILE* in = stdin,
             std::FILE* out = stdout);
