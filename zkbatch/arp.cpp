#include "arp.h"

#include <cstdio>
#include <cstring>

namespace {

// The fixed head of every Ethernet/IPv4 ARP message: hardware type 1,
// protocol 0x0800, hardware address length 6, protocol address length 4.
constexpr std::uint8_t ethernet_ipv4[6] = {0, 1, 0x08, 0x00, 6, 4};

// Offsets of the fields after it.
constexpr std::size_t op_at = 6, sender_mac_at = 8, sender_ip_at = 14, target_mac_at = 18,
                      target_ip_at = 24;

}  // namespace

std::string mac_text(const mac_address& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

std::array<std::uint8_t, arp_size> arp_probe(const mac_address& sender, in_addr_t target) {
    std::array<std::uint8_t, arp_size> m{};
    std::memcpy(m.data(), ethernet_ipv4, sizeof ethernet_ipv4);
    m[op_at + 1] = arp_request;
    std::memcpy(m.data() + sender_mac_at, sender.data(), sender.size());
    // Sender address and target MAC stay zero.
    std::memcpy(m.data() + target_ip_at, &target, sizeof target);
    return m;
}

std::optional<arp_message> parse_arp(const std::uint8_t* data, std::size_t size) {
    if (size < arp_size || std::memcmp(data, ethernet_ipv4, sizeof ethernet_ipv4) != 0) return {};
    arp_message m;
    m.op = static_cast<std::uint16_t>(data[op_at] << 8 | data[op_at + 1]);
    if (m.op != arp_request && m.op != arp_reply) return {};
    std::memcpy(m.sender_mac.data(), data + sender_mac_at, m.sender_mac.size());
    std::memcpy(&m.sender_ip, data + sender_ip_at, sizeof m.sender_ip);
    std::memcpy(m.target_mac.data(), data + target_mac_at, m.target_mac.size());
    std::memcpy(&m.target_ip, data + target_ip_at, sizeof m.target_ip);
    return m;
}
