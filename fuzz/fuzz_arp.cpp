// Fuzz target: a frame's payload from the network handed to parse_arp, which
// reads every ARP message the packet socket receives.
//
// Input: the payload as it arrives, any length (a real frame's is 28 bytes,
// or 46 with padding).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "arp.h"
#include "check.h"

namespace {

// The head every accepted message starts with: Ethernet, IPv4, 6, 4.
constexpr std::uint8_t head[6] = {0, 1, 8, 0, 6, 4};

bool from(const std::uint8_t* at, const void* field, std::size_t size) {
    return std::memcmp(at, field, size) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // Exactly the input's bytes, so a read past them is caught by
    // AddressSanitizer.
    const std::vector<std::uint8_t> payload(data, data + size);
    const auto m = parse_arp(payload.data(), payload.size());

    const bool arp = size >= arp_size && std::memcmp(payload.data(), head, sizeof head) == 0 &&
                     payload[6] == 0 && (payload[7] == 1 || payload[7] == 2);
    FUZZ_CHECK(m.has_value() == arp);
    if (!m) return 0;

    // Every field comes from its place, in its byte order; padding is left.
    const std::uint8_t* p = payload.data();
    FUZZ_CHECK(m->op == p[7] && from(p + 8, m->sender_mac.data(), 6) &&
               from(p + 14, &m->sender_ip, 4) && from(p + 18, m->target_mac.data(), 6) &&
               from(p + 24, &m->target_ip, 4));
    return 0;
}
