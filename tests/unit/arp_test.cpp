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
};

// What parse_arp reads is held to a model of its own by fuzz/fuzz_arp.cpp.
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

}  // namespace
