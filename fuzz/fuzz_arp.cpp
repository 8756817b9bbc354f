// Fuzz target: a frame's payload from the network handed to parse_arp, which
// reads every ARP message the packet socket receives.
//
// Input: the payload as it arrives, any length (a real frame's is 28 bytes,
// or 46 with padding).
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "arp.h"
#include "check.h"

namespace {

// The head every accepted message starts with: Ethernet, IPv4, 6, 4.
constexpr std::uint8_t head[6] = {0, 1, 8, 0, 6, 4};

// The message written back in wire order, to compare with the input.
std::vector<std::uint8_t> wire(const arp_message& m) {
    std::vector<std::uint8_t> out(head, head + sizeof head);
    out.push_back(static_cast<std::uint8_t>(m.op >> 8));
    out.push_back(static_cast<std::uint8_t>(m.op));
    const auto add = [&out](const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    };
    add(m.sender_mac.data(), m.sender_mac.size());
    add(&m.sender_ip, sizeof m.sender_ip);
    add(m.target_mac.data(), m.target_mac.size());
    add(&m.target_ip, sizeof m.target_ip);
    return out;
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
    FUZZ_CHECK(wire(*m) == std::vector<std::uint8_t>(payload.begin(), payload.begin() + arp_size));
    FUZZ_CHECK(m->op == payload[7]);
    FUZZ_CHECK(mac_text(m->sender_mac).size() == 17);

    // A probe reads back as what arp_probe makes for its sender and target.
    const mac_address zero{};
    if (m->op == arp_request && m->sender_ip == 0 && m->target_mac == zero) {
        const auto probe = arp_probe(m->sender_mac, m->target_ip);
        FUZZ_CHECK(std::memcmp(probe.data(), payload.data(), arp_size) == 0);
    }
    return 0;
}
