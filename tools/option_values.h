// The values zkdevice's options take: escaped texts, numbers within bounds,
// IPv4 addresses and the bytes of a file. Each dies naming the option on a
// bad value, so nothing starts on a half-read command line.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// Longest delay, interval or duration accepted: an hour.
constexpr long max_ms = 3600L * 1000;

// Decodes the escapes \r \n \t \\ \0 \xHH.
std::string unescape(std::string_view text);

// A decimal number from low to high.
long parse_number(const char* option, const char* text, long low, long high);

// Any number from 0 to 2^64 - 1, for --seed.
std::uint64_t parse_seed(const char* text);

// Milliseconds from 0 to max_ms.
int parse_ms(const char* option, const char* text);

// A dotted IPv4 address, in network byte order.
in_addr_t parse_address(const char* option, const char* text);

// The whole of a file for --raw-file, at most one datagram's worth.
std::string read_file(const char* path);

}  // namespace sim
