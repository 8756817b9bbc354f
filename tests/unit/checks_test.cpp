#include "checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch_fixture.h"

namespace {

class ChecksTest : public ::testing::Test, protected batch_fixture {
protected:
    // Every error as "LINE: message" and every warning, one a line.
    std::string findings(const std::string& plan_text) {
        const conflict_findings found =
            find_conflicts(rows(plan_text), answers, {inet_addr("192.0.2.1")});
        std::string out;
        for (const plan_error& e : found.errors)
            out += std::to_string(e.line) + ": " + e.message + "\n";
        for (const std::string& w : found.warnings) out += w + "\n";
        return out;
    }
};

// Planned settings a device can't use, beyond zkdetect's checks. The
// network, broadcast and loopback address, a netmask with holes, the ip as
// gateway and a /31's lower address are in the e2e case
// plan_addresses_a_device_cannot_hold_invalid.
TEST_F(ChecksTest, AddressProblemTable) {
    const struct {
        const char *ip, *nm, *gw, *problem;
    } cases[] = {
        {"10.0.0.5", "255.255.255.0", "10.0.0.1", ""},
        {"10.0.0.3", "255.255.255.252", "10.0.0.1",
         "ip 10.0.0.3 is the broadcast address of 10.0.0.0/30"},
        {"10.0.0.1", "255.255.255.252", "10.0.0.2", ""},
        // Point-to-point /31 and host /32 have no such addresses.
        {"10.0.0.1", "255.255.255.254", "10.0.0.0", ""},
        {"10.0.0.7", "255.255.255.255", "10.0.0.1", ""},
        {"10.255.255.255", "255.0.0.0", "10.0.0.1",
         "ip 10.255.255.255 is the broadcast address of 10.0.0.0/8"},
        {"0.0.0.0", "255.255.255.0", "0.0.0.1", "ip 0.0.0.0 is not an address a device can hold"},
        {"255.255.255.255", "255.255.255.255", "10.0.0.1",
         "ip 255.255.255.255 is the broadcast address"},
        {"126.255.255.254", "255.255.255.0", "126.255.255.1", ""},
        {"128.0.0.1", "255.255.255.0", "128.0.0.2", ""},
        {"224.0.0.1", "255.255.255.0", "224.0.0.2", "ip 224.0.0.1 is a multicast address"},
        {"239.255.255.254", "255.255.255.0", "239.255.255.1",
         "ip 239.255.255.254 is a multicast address"},
        {"223.255.255.254", "255.255.255.0", "223.255.255.1", ""},
        {"10.0.0.5", "255.255.255.1", "10.0.0.1", "netmask 255.255.255.1 is not contiguous"},
        {"10.0.0.5", "0.0.0.0", "192.0.2.1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ip) + "/" + c.nm + " gw " + c.gw);
        device_entry e;
        std::snprintf(e.ip, sizeof e.ip, "%s", c.ip);
        std::snprintf(e.nm, sizeof e.nm, "%s", c.nm);
        std::snprintf(e.gw, sizeof e.gw, "%s", c.gw);
        EXPECT_EQ(address_problem(e), c.problem);
    }
}

// Addresses devices hold after the plan: refused where the plan makes a
// conflict, warned about where it leaves one.
TEST_F(ChecksTest, ConflictTable) {
    answer("192.0.2.10", "02:00:00:00:00:0a", "10.0.0.5");
    answer("192.0.2.11", "02:00:00:00:00:0b", "10.0.0.6");
    answer("192.0.2.12", "02:00:00:00:00:0c", "10.0.0.7", "dhcp=1");
    answer("192.0.2.13", "02:00:00:00:00:0d", "10.0.0.8");
    answer("192.0.2.14", "02:00:00:00:00:0e", "10.0.0.8");
    answer("192.0.2.15", "", "10.0.0.8");
    answer("192.0.2.16", "02:00:00:00:00:0f", "");  // holds no address
    const struct {
        const char *name, *plan, *findings;
        // The findings from the answers reversed, where they differ.
        const char* reversed = nullptr;
    } cases[] = {
        {"plan_leaves_conflict", "mac,mtu\n02:00:00:00:00:0a,600\n", ""},
        {"moved_onto_another", "mac,ip\n02:00:00:00:00:0a,10.0.0.6\n",
         "2: ip 10.0.0.6 is held by 02:00:00:00:00:0b\n"},
        {"moved_onto_several", "mac,ip\n02:00:00:00:00:0a,10.0.0.8\n",
         "2: ip 10.0.0.8 is held by 02:00:00:00:00:0d, 02:00:00:00:00:0e, (no MAC)\n",
         "2: ip 10.0.0.8 is held by (no MAC), 02:00:00:00:00:0e, 02:00:00:00:00:0d\n"},
        {"moved_onto_this_host",
         "mac,mtu,ip,gateway\n02:00:00:00:00:0b,600,,\n02:00:00:00:00:0a,,192.0.2.1,192.0.2.254\n",
         "3: ip 192.0.2.1 is an address of this host\n"},
        {"two_swap_addresses", "mac,ip\n02:00:00:00:00:0a,10.0.0.6\n02:00:00:00:00:0b,10.0.0.5\n",
         ""},
        {"holder_under_dhcp_left_out", "mac,ip\n02:00:00:00:00:0a,10.0.0.7\n", ""},
        {"holder_switched_to_dhcp",
         "mac,ip,dhcp\n02:00:00:00:00:0a,10.0.0.6,\n02:00:00:00:00:0b,,1\n", ""},
        {"switched_off_dhcp_onto_another",
         "mac,ip,dhcp\n02:00:00:00:00:0a,10.0.0.7,\n02:00:00:00:00:0c,,0\n",
         "2: ip 10.0.0.7 is held by 02:00:00:00:00:0c\n3: ip 10.0.0.7 is held by "
         "02:00:00:00:00:0a\n"},
        {"row_not_sent_makes_nothing", "mac,ip,gateway\n02:00:00:00:00:0a,10.0.0.6,10.9.9.9\n", ""},
        {"moved_away_from_a_conflict",
         "mac,ip\n02:00:00:00:00:0d,10.0.0.9\n02:00:00:00:00:0e,10.0.0.10\n", ""},
    };
    // Reversed, the holder of an address answers before the device moved
    // onto it, and devices are listed in the other order.
    in_both_orders([&](bool reversed) {
        const std::string warn_8 = std::string("Warning: 10.0.0.8 is held by 3 devices on zk0: ") +
                                   (reversed ? "(no MAC), 02:00:00:00:00:0e, 02:00:00:00:00:0d\n"
                                             : "02:00:00:00:00:0d, 02:00:00:00:00:0e, (no MAC)\n");
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            std::string want = reversed && c.reversed ? c.reversed : c.findings;
            // Most plans leave the devices at 10.0.0.8 as they are.
            const std::string name = c.name;
            if (name != "moved_away_from_a_conflict" && name != "moved_onto_several")
                want += warn_8;
            EXPECT_EQ(findings(c.plan), want);
        }
    });
}

// Conflicts count within a segment: a device on segment zkb may hold the
// address of one on zk0. Both orders of the answers, as above.
TEST_F(ChecksTest, SegmentTable) {
    const auto on_zkb = [&] {
        answers.back().segment = 1;
        answers.back().interface = "zkb";
    };
    answer("192.0.2.10", "02:00:00:00:00:0a", "10.0.0.5");
    answer("198.51.100.11", "02:00:00:00:00:0b", "10.0.0.6");
    on_zkb();
    answer("198.51.100.12", "02:00:00:00:00:0c", "10.0.0.7");
    on_zkb();
    answer("192.0.2.13", "02:00:00:00:00:0d", "10.0.0.7");
    answer("198.51.100.14", "02:00:00:00:00:0e", "10.0.0.6");
    on_zkb();
    const struct {
        const char *name, *plan, *findings, *reversed;
    } cases[] = {
        {"held_on_another_segment", "mac,ip\n02:00:00:00:00:0a,10.0.0.6\n", "held_6", nullptr},
        {"held_on_the_same_segment_only", "mac,ip\n02:00:00:00:00:0b,10.0.0.7\n",
         "2: ip 10.0.0.7 is held by 02:00:00:00:00:0c\n", nullptr},
        {"same_address_apart_leaves_no_warning", "mac,mtu\n02:00:00:00:00:0d,600\n", "held_6",
         nullptr},
        {"moved_into_a_conflict_of_its_segment", "mac,ip\n02:00:00:00:00:0c,10.0.0.6\n",
         "2: ip 10.0.0.6 is held by 02:00:00:00:00:0b, 02:00:00:00:00:0e\n",
         "2: ip 10.0.0.6 is held by 02:00:00:00:00:0e, 02:00:00:00:00:0b\n"},
    };
    in_both_orders([&](bool reversed) {
        const std::string held_6 = std::string("Warning: 10.0.0.6 is held by 2 devices on zkb: ") +
                                   (reversed ? "02:00:00:00:00:0e, 02:00:00:00:00:0b\n"
                                             : "02:00:00:00:00:0b, 02:00:00:00:00:0e\n");
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            const std::string want = reversed && c.reversed ? c.reversed : c.findings;
            EXPECT_EQ(findings(c.plan), want == "held_6" ? held_6 : want);
        }
    });
}

}  // namespace
