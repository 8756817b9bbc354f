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

using byte_string = std::vector<std::uint8_t>;

class NeighbourTest : public ::testing::Test {
protected:
    template <typename T>
    static byte_string raw(const T& value) {
        byte_string b(sizeof value);
        std::memcpy(b.data(), &value, sizeof value);
        return b;
    }

    // A netlink header of length 16 + payload + extra, then the payload
    // padded to 4 bytes; extra > 0 claims more than there is.
    static byte_string message(std::uint16_t type, const byte_string& payload, int extra = 0) {
        nlmsghdr h{};
        h.nlmsg_len = static_cast<std::uint32_t>(NLMSG_LENGTH(payload.size()) + extra);
        h.nlmsg_type = type;
        byte_string b = raw(h);
        b.insert(b.end(), payload.begin(), payload.end());
        b.resize(NLMSG_ALIGN(b.size()));
        return b;
    }

    static byte_string attribute(std::uint16_t type, const byte_string& value, int extra = 0) {
        rtattr a{static_cast<std::uint16_t>(RTA_LENGTH(value.size()) + extra), type};
        byte_string b = raw(a);
        b.insert(b.end(), value.begin(), value.end());
        b.resize(RTA_ALIGN(b.size()));
        return b;
    }

    static byte_string entry(std::uint8_t family, std::uint16_t state, const byte_string& attrs) {
        ndmsg nd{};
        nd.ndm_family = family;
        nd.ndm_ifindex = 3;
        nd.ndm_state = state;
        byte_string b = raw(nd);
        b.insert(b.end(), attrs.begin(), attrs.end());
        return message(RTM_NEWNEIGH, b);
    }

    static byte_string dst(const char* addr) { return attribute(NDA_DST, raw(inet_addr(addr))); }
    static byte_string lladdr(std::size_t size) {
        byte_string mac{0x02, 0x00, 0x5e, 0x00, 0x53, 0x0a, 0x0b};
        return attribute(NDA_LLADDR, byte_string(mac.begin(), mac.begin() + size));
    }

    // The parse of exactly these bytes (copied to words, so the headers are
    // aligned): the state's name, the error, then one line per entry.
    static std::string parsed(const byte_string& data) {
        std::vector<std::uint32_t> words((data.size() + 3) / 4);
        std::memcpy(words.data(), data.data(), data.size());
        std::vector<neighbour> found;
        int error = 0;
        const dump_state s = parse_neighbours(words.data(), data.size(), found, error);
        std::string out = s == dump_state::done   ? "done"
                          : s == dump_state::more ? "more"
                                                  : "failed";
        if (s == dump_state::failed) out += std::string(" ") + strerrorname_np(error);
        for (const neighbour& n : found) {
            out += std::string("\n") + inet_ntoa(in_addr{n.addr}) + " if" +
                   std::to_string(n.ifindex) + " " + std::to_string(n.state) + " " +
                   (n.mac ? mac_text(*n.mac) : "-");
        }
        return out;
    }
};

byte_string operator+(byte_string a, const byte_string& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(NeighbourTest, ParseTable) {
    const byte_string reachable = entry(AF_INET, NUD_REACHABLE, dst("192.0.2.10") + lladdr(6));
    const std::string reachable_line = "\n192.0.2.10 if3 2 02:00:5e:00:53:0a";
    nlmsgerr refused{};
    refused.error = -EPERM;
    const struct {
        const char* name;
        byte_string data;
        std::string want;
    } cases[] = {
        {"reachable", reachable, "more" + reachable_line},
        {"failed_without_lladdr", entry(AF_INET, NUD_FAILED, dst("192.0.2.11")),
         "more\n192.0.2.11 if3 32 -"},
        {"tunnel_lladdr_is_no_mac", entry(AF_INET, NUD_PERMANENT, dst("192.0.2.12") + lladdr(4)),
         "more\n192.0.2.12 if3 128 -"},
        {"without_destination", entry(AF_INET, NUD_REACHABLE, lladdr(6)), "more"},
        {"ipv6_skipped", entry(AF_INET6, NUD_REACHABLE, attribute(NDA_DST, byte_string(16, 1))),
         "more"},
        {"done_ends", reachable + message(NLMSG_DONE, raw(0)) + reachable, "done" + reachable_line},
        {"other_message_skipped", message(NLMSG_NOOP, {}) + reachable, "more" + reachable_line},
        {"error", reachable + message(NLMSG_ERROR, raw(refused)), "failed EPERM" + reachable_line},
        {"error_cut", message(NLMSG_ERROR, raw(-EPERM)), "failed EBADMSG"},
        {"message_overruns", reachable + message(RTM_NEWNEIGH, byte_string(12), 4),
         "failed EBADMSG" + reachable_line},
        {"header_cut", reachable + byte_string(8), "failed EBADMSG" + reachable_line},
        {"ndmsg_cut", message(RTM_NEWNEIGH, byte_string(8)), "failed EBADMSG"},
        {"attribute_overruns",
         entry(AF_INET, NUD_REACHABLE, dst("192.0.2.13") + attribute(NDA_LLADDR, {2, 0}, 8)),
         "failed EBADMSG"},
        {"attribute_length_zero", entry(AF_INET, NUD_REACHABLE, dst("192.0.2.13") + raw(0)),
         "failed EBADMSG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parsed(c.data), c.want);
    }
}

TEST_F(NeighbourTest, AnsweredTable) {
    const mac_address mac{0x02, 0x00, 0x5e, 0x00, 0x53, 0x0a};
    const struct {
        std::uint16_t state;
        bool with_mac, answered;
    } cases[] = {
        {NUD_REACHABLE, true, true},    {NUD_STALE, true, true},     {NUD_DELAY, true, true},
        {NUD_PROBE, true, true},        {NUD_PERMANENT, true, true}, {NUD_REACHABLE, false, false},
        {NUD_INCOMPLETE, false, false}, {NUD_FAILED, false, false},  {NUD_NOARP, true, false},
        {NUD_NONE, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.state) + (c.with_mac ? " with MAC" : ""));
        neighbour n;
        n.state = c.state;
        if (c.with_mac) n.mac = mac;
        EXPECT_EQ(neighbour_answered(n), c.answered);
    }
}

}  // namespace
