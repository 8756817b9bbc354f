// Discovery replies and the list of devices found by the scan.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <string_view>

// The request every device answers.
constexpr const char* discovery_request = "find zefo.*";

// One answering device. Texts hold the bytes as received.
struct device_entry {
    in_addr_t addr = 0;  // where the reply came from; the confirmation must too
    char hw[18] = {};    // MAC address, exactly 17 characters or empty
    char ip[16] = {};
    char nm[16] = {};
    int32_t mtu = 0;
    char gw[16] = {};
    uint8_t dhcp = 0;              // 0 or 1
    std::string ns;                // nameserver; empty means none
    device_entry* next = nullptr;  // the entry found just before this one
};

// Head of the list (newest entry first), how many entries it holds, and the
// entry the operator selected.
extern device_entry* devs;
extern int32_t num_devs;
extern device_entry* d;

// Fills entry from a reply's key=value tokens; leaves what the reply lacks.
void parse_reply(device_entry& entry, char* text);

// Reply handler of the scan: makes an entry of every datagram, puts it at
// the head of the list and prints its list line. Returns false, so the scan
// runs until the receive ends; true only when memory for an entry ran out.
bool device_found(in_addr_t addr, char* text);

// The entry listed with number n (1 is the first found), or nullptr.
device_entry* device_number(int32_t n);

// A device text made safe for the terminal: every byte below 0x20 and from
// 0x7F to 0x9F (the control characters) becomes '?'.
std::string shown(std::string_view text);
