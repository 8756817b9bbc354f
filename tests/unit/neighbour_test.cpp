#include "neighbour.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

class NeighbourTest : public ::testing::Test {};

// Netlink pieces as the kernel lays them out, in host byte order.
using bytes = std::vector<std::uint8_t>;

bytes operator+(bytes a, const bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

template <typename T>
bytes raw(const T& value) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
    return bytes(p, p + sizeof value);
}

// Padded to 4 bytes, as netlink lays out messages and attributes.
bytes padded(bytes b) {
    b.resize((b.size() + 3) & ~std::size_t{3});
    return b;
}

// A header whose length claims extra bytes more than follow, then payload.
bytes message(std::uint16_t type, const bytes& payload, int extra = 0) {
    const auto length = static_cast<std::uint32_t>(NLMSG_LENGTH(payload.size()) + extra);
    return padded(raw(nlmsghdr{length, type, 0, 0, 0}) + payload);
}

bytes attribute(std::uint16_t type, const bytes& value, int extra = 0) {
    const auto length = static_cast<std::uint16_t>(RTA_LENGTH(value.size()) + extra);
    return padded(raw(rtattr{length, type}) + value);
}

// An entry on interface 3.
bytes entry(std::uint8_t family, std::uint16_t state, const bytes& attributes) {
    return message(RTM_NEWNEIGH, raw(ndmsg{family, 0, 0, 3, state, 0, 0}) + attributes);
}

bytes dst(const char* addr) { return attribute(NDA_DST, raw(inet_addr(addr))); }

// The parse of exactly these bytes (copied to words to align the headers):
// how it ended, then one line per entry.
std::string parsed(const bytes& data) {
    std::vector<std::uint32_t> words((data.size() + 3) / 4);
    std::memcpy(words.data(), data.data(), data.size());
    std::vector<neighbour> found;
    int error = 0;
    const dump_state s = parse_neighbours(words.data(), data.size(), found, error);
    std::string out = s == dump_state::done   ? "done"
                      : s == dump_state::more ? "more"
                                              : std::string("failed ") + strerrorname_np(error);
    for (const neighbour& n : found)
        out += std::string("\n") + inet_ntoa(in_addr{n.addr}) + " if" + std::to_string(n.ifindex) +
               " " + std::to_string(n.state) + " " + (n.mac ? mac_text(*n.mac) : "-");
    return out;
}

TEST_F(NeighbourTest, ParseTable) {
    const bytes mac = attribute(NDA_LLADDR, {2, 0, 0x5e, 0, 0x53, 0x0a});
    const bytes reachable = entry(AF_INET, NUD_REACHABLE, dst("192.0.2.10") + mac);
    const std::string reachable_line = "\n192.0.2.10 if3 2 02:00:5e:00:53:0a";
    const struct {
        const char* name;
        bytes data;
        std::string want;
    } cases[] = {
        {"reachable", reachable, "more" + reachable_line},
        {"failed_without_lladdr", entry(AF_INET, NUD_FAILED, dst("192.0.2.11")),
         "more\n192.0.2.11 if3 32 -"},
        {"tunnel_lladdr_is_no_mac",
         entry(AF_INET, NUD_PERMANENT, dst("192.0.2.12") + attribute(NDA_LLADDR, {192, 0, 2, 1})),
         "more\n192.0.2.12 if3 128 -"},
        {"ipv6_skipped", entry(AF_INET6, NUD_REACHABLE, attribute(NDA_DST, bytes(16, 1))), "more"},
        {"done_ends", reachable + message(NLMSG_DONE, raw(0)) + reachable, "done" + reachable_line},
        {"other_message_skipped", message(NLMSG_NOOP, {}) + reachable, "more" + reachable_line},
        {"error", reachable + message(NLMSG_ERROR, raw(nlmsgerr{-EPERM, {}})),
         "failed EPERM" + reachable_line},
        {"acknowledgement_ends", reachable + message(NLMSG_ERROR, raw(nlmsgerr{0, {}})) + reachable,
         "done" + reachable_line},
        {"error_cut", message(NLMSG_ERROR, raw(-EPERM)), "failed EBADMSG"},
        {"message_overruns", reachable + message(RTM_NEWNEIGH, bytes(12), 4),
         "failed EBADMSG" + reachable_line},
        {"ndmsg_cut", message(RTM_NEWNEIGH, bytes(8)), "failed EBADMSG"},
        {"attribute_overruns",
         entry(AF_INET, NUD_REACHABLE, dst("192.0.2.13") + attribute(NDA_LLADDR, {2, 0}, 8)),
         "failed EBADMSG"},
        // A naive parser would never get past it.
        {"attribute_length_zero", entry(AF_INET, NUD_REACHABLE, dst("192.0.2.13") + raw(0)),
         "failed EBADMSG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parsed(c.data), c.want);
    }
}

// Each state without a MAC, then with one: only the first five answer.
TEST_F(NeighbourTest, AnsweredTable) {
    const std::uint16_t states[] = {NUD_REACHABLE,  NUD_STALE,  NUD_DELAY, NUD_PROBE, NUD_PERMANENT,
                                    NUD_INCOMPLETE, NUD_FAILED, NUD_NOARP, NUD_NONE};
    for (std::size_t i = 0; i < std::size(states); ++i) {
        SCOPED_TRACE(states[i]);
        neighbour n;
        n.state = states[i];
        EXPECT_FALSE(neighbour_answered(n));
        n.mac = mac_address{2, 0, 0x5e, 0, 0x53, 0x0a};
        EXPECT_EQ(neighbour_answered(n), i < 5);
    }
}

}  // namespace
