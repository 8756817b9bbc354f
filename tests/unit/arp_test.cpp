#include "arp.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

class ArpTest : public ::testing::Test {
protected:
    // Bytes written as hexadecimal pairs; spaces are for the reader.
    static std::vector<std::uint8_t> bytes(std::string hex) {
        std::erase(hex, ' ');
        std::vector<std::uint8_t> out;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        return out;
    }

    // A copy: inet_ntoa's buffer is reused by the next call.
    static std::string ip(in_addr_t addr) { return inet_ntoa(in_addr{addr}); }

    // What parse_arp makes of data, as "op sender-MAC sender-IP > target-MAC
    // target-IP", or "none".
    static std::string parsed(const std::vector<std::uint8_t>& data) {
        const auto m = parse_arp(data.data(), data.size());
        if (!m) return "none";
        return std::to_string(m->op) + " " + mac_text(m->sender_mac) + " " + ip(m->sender_ip) +
               " > " + mac_text(m->target_mac) + " " + ip(m->target_ip);
    }
};

TEST_F(ArpTest, ProbeBytesTable) {
    const struct {
        std::string sender, target, want;
    } cases[] = {
        {"02005e00530a", "192.0.2.10",
         "0001 0800 06 04 0001 02005e00530a 00000000 000000000000 c000020a"},
        {"fffe01807f00", "203.0.113.255",
         "0001 0800 06 04 0001 fffe01807f00 00000000 000000000000 cb0071ff"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        mac_address sender;
        std::ranges::copy(bytes(c.sender), sender.begin());
        const auto probe = arp_probe(sender, inet_addr(c.target.c_str()));
        EXPECT_EQ(std::vector<std::uint8_t>(probe.begin(), probe.end()), bytes(c.want));
    }
}

TEST_F(ArpTest, ParseTable) {
    // Captured in the test network: Linux's answer to a probe names the
    // probed address as its sender and 0.0.0.0 as the target.
    const std::string reply = "0001 0800 06 04 0002 1e4c4296b551 cb007114 c6b2230fc3c3 00000000";
    const std::string probe = "0001 0800 06 04 0001 c6b2230fc3c3 00000000 000000000000 cb007114";
    const std::string reply_tail = "1e4c4296b551 cb007114 c6b2230fc3c3 00000000";
    const std::string answer = "2 1e:4c:42:96:b5:51 203.0.113.20 > c6:b2:23:0f:c3:c3 0.0.0.0";
    const struct {
        const char* name;
        std::string data, want;
    } cases[] = {
        {"reply", reply, answer},
        {"probe", probe, "1 c6:b2:23:0f:c3:c3 0.0.0.0 > 00:00:00:00:00:00 203.0.113.20"},
        // A 60-byte Ethernet frame pads the 28 bytes to 46.
        {"padded", reply + std::string(36, '0'), answer},
        {"truncated", reply.substr(0, reply.size() - 2), "none"},
        {"ieee802_hardware", "0006 0800 06 04 0002 " + reply_tail, "none"},
        {"ipv6_protocol", "0001 86dd 06 04 0002 " + reply_tail, "none"},
        {"hardware_length", "0001 0800 08 04 0002 " + reply_tail, "none"},
        {"protocol_length", "0001 0800 06 10 0002 " + reply_tail, "none"},
        {"rarp_request", "0001 0800 06 04 0003 " + reply_tail, "none"},
        {"op_byte_order", "0001 0800 06 04 0200 " + reply_tail, "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parsed(bytes(c.data)), c.want);
    }
}

}  // namespace
