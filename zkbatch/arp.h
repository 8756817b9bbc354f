// ARP messages for Ethernet and IPv4 as they travel in a frame's payload:
// the probe that asks who holds an address without claiming one, and the
// reading of what comes back.
#pragma once

#include <netinet/in.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

using mac_address = std::array<std::uint8_t, 6>;

// Six lowercase hexadecimal pairs joined by colons: "02:00:5e:00:53:0a".
std::string mac_text(const mac_address& mac);

constexpr std::size_t arp_size = 28;  // the Ethernet/IPv4 ARP payload
constexpr std::uint16_t arp_request = 1;
constexpr std::uint16_t arp_reply = 2;

// IPv4 addresses in network byte order, op in host byte order.
struct arp_message {
    std::uint16_t op = 0;
    mac_address sender_mac{};
    in_addr_t sender_ip = 0;
    mac_address target_mac{};
    in_addr_t target_ip = 0;
};

// "Who has target?" from sender as RFC 5227 probes: sender address 0.0.0.0,
// so that no host's cache learns anything from it, and target MAC zero.
std::array<std::uint8_t, arp_size> arp_probe(const mac_address& sender, in_addr_t target);

// The message in data, or none unless data holds at least arp_size bytes of
// Ethernet/IPv4 ARP (hardware type 1, protocol 0x0800, lengths 6 and 4)
// with op request or reply. Bytes past arp_size (a frame's padding) are
// ignored.
std::optional<arp_message> parse_arp(const std::uint8_t* data, std::size_t size);
