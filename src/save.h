// Saving the selected device's settings: the checks, the set message and
// the device's confirmation.
#pragma once

#include <netinet/in.h>

#include <cstdio>

#include "devices.h"

// Set once the device confirmed the save.
extern bool saved;

// The set message is composed in a buffer of this size.
constexpr int set_message_size = 512;

// Tests entry's addresses: nullptr when they pass, else the message that
// names the first failure (a whole line, ending in a line feed).
const char* config_problem(const device_entry& entry);

// Tests d's addresses; prints the first failure's reason to out.
bool verify_config(std::FILE* out = stdout);

// Writes the set message for entry into msg. Returns its length, or -1 when
// it would need set_message_size characters or more.
int compose_set_message(const device_entry& entry, char (&msg)[set_message_size]);

// Sends the set message for d and waits for its confirmation. Returns the
// run's exit status: 0 once sent (confirmed or not), -1 when nothing could
// be sent.
int save_config(in_addr_t source, in_addr_t destination, std::FILE* out = stdout);

// Reply handler of the save: the first datagram from d's address ends the
// receive; saved tells whether it confirmed.
bool save_response(in_addr_t addr, char* text);
