// Fuzz target: one datagram from the network handed to device_found, twice
// (once on an empty list, once behind the first entry), with the entry and
// the list checked after each call.
//
// Input: the datagram's payload. Like the receiver, the target cuts it at
// max_payload bytes and terminates it; a zero byte inside ends the text.
#include <arpa/inet.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "check.h"
#include "devices.h"
#include "exchange.h"

namespace {

template <std::size_t N>
bool terminated(const char (&field)[N]) {
    return std::memchr(field, '\0', N) != nullptr;
}

// A stored text is a piece of one token's value: it holds no separator and
// no line break, and it occurs in the datagram as received.
bool from_datagram(const char* text, std::string_view field) {
    if (field.empty()) return true;
    if (field.find_first_of(std::string_view(";\r\n\0", 4)) != std::string_view::npos) return false;
    return std::string_view(text).find(field) != std::string_view::npos;
}

void check_entry(const device_entry& e, in_addr_t addr, const char* text) {
    FUZZ_CHECK(e.addr == addr);
    FUZZ_CHECK(terminated(e.hw));
    const std::size_t hw_length = std::strlen(e.hw);
    FUZZ_CHECK(hw_length == 0 || hw_length == 17);
    FUZZ_CHECK(terminated(e.ip) && std::strlen(e.ip) < sizeof e.ip);
    FUZZ_CHECK(terminated(e.nm) && std::strlen(e.nm) < sizeof e.nm);
    FUZZ_CHECK(terminated(e.gw) && std::strlen(e.gw) < sizeof e.gw);
    FUZZ_CHECK(e.dhcp == 0 || e.dhcp == 1);
    FUZZ_CHECK(e.mtu != 0);
    FUZZ_CHECK(from_datagram(text, e.hw));
    FUZZ_CHECK(from_datagram(text, e.ip));
    FUZZ_CHECK(from_datagram(text, e.nm));
    FUZZ_CHECK(from_datagram(text, e.gw));
    FUZZ_CHECK(from_datagram(text, e.ns));
}

bool same_settings(const device_entry& a, const device_entry& b) {
    return std::strcmp(a.hw, b.hw) == 0 && std::strcmp(a.ip, b.ip) == 0 &&
           std::strcmp(a.nm, b.nm) == 0 && std::strcmp(a.gw, b.gw) == 0 && a.mtu == b.mtu &&
           a.dhcp == b.dhcp && a.ns == b.ns;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // device_found prints every entry's list line; keep the fuzzer's own
    // output readable.
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;

    const std::size_t length = std::min(size, max_payload);
    // Exactly the payload and its terminator, so a read past the end is
    // caught by AddressSanitizer.
    std::vector<char> datagram(data, data + length);
    datagram.push_back('\0');

    const in_addr_t from[2] = {inet_addr("192.0.2.10"), inet_addr("192.0.2.11")};
    for (int32_t n = 1; n <= 2; ++n) {
        device_entry* const old_head = devs;
        // Each call gets its own copy: the receiver's buffer is reused.
        std::vector<char> text = datagram;
        FUZZ_CHECK(!device_found(from[n - 1], text.data()));

        FUZZ_CHECK(num_devs == n);
        FUZZ_CHECK(devs != nullptr && devs != old_head);
        FUZZ_CHECK(devs->next == old_head);
        check_entry(*devs, from[n - 1], datagram.data());
        FUZZ_CHECK(device_number(num_devs) == devs);
        FUZZ_CHECK(device_number(1) == (old_head ? old_head : devs));
        FUZZ_CHECK(device_number(0) == nullptr);
        FUZZ_CHECK(device_number(num_devs + 1) == nullptr);
    }
    // The same datagram gives the same settings; nothing carries over from
    // one entry to the next.
    FUZZ_CHECK(same_settings(*devs, *devs->next));

    release_list();
    return 0;
}
