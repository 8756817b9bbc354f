#include "probe.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "batch_fixture.h"

namespace {

class ProbeTest : public ::testing::Test, protected batch_fixture {
protected:
    // zka: an Ethernet interface with 10.0.0.1/24.
    static scan_link zka() {
        scan_link l;
        l.name = "zka";
        l.ifindex = 7;
        l.subnets = {{inet_addr("10.0.0.1"), inet_addr("255.255.255.0"), {}}};
        l.mac = std::array<std::uint8_t, 6>{2, 0, 0, 0, 0, 1};
        return l;
    }
};

// How each address can be asked for, by what the run may do on its link.
TEST_F(ProbeTest, DecisionTable) {
    scan_link unknown = zka(), no_arp = zka(), host_route = zka();
    unknown.ifindex = 0;
    no_arp.mac.reset();
    host_route.subnets[0].netmask = inet_addr("255.255.255.255");
    const struct {
        const char* name;
        scan_link link;
        int arp_error;
        const char* target;
        probe_note::way_t way;
        const char* why_not;
    } cases[] = {
        {"arp_reaches_any_subnet", zka(), 0, "10.9.0.6", probe_note::arp, ""},
        {"kernel_inside_a_subnet", zka(), EPERM, "10.0.0.77", probe_note::kernel, ""},
        {"kernel_up_to_the_subnet_edge", zka(), EPERM, "10.0.0.255", probe_note::kernel, ""},
        {"off_link_needs_the_capability", zka(), EPERM, "10.0.1.77", probe_note::skipped,
         "needs CAP_NET_RAW"},
        {"host_route_holds_no_neighbour", host_route, EPERM, "10.0.0.77", probe_note::skipped,
         "needs CAP_NET_RAW"},
        {"socket_refused_otherwise", zka(), EAFNOSUPPORT, "10.0.1.77", probe_note::skipped,
         "no packet socket on zka: Address family not supported by protocol"},
        {"socket_refused_kernel_still_asked", zka(), EAFNOSUPPORT, "10.0.0.77", probe_note::kernel,
         ""},
        {"no_arp_on_the_link", no_arp, 0, "10.0.0.77", probe_note::skipped, "zka has no ARP"},
        {"interface_unknown", unknown, 0, "10.0.0.77", probe_note::skipped,
         "its interface is unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const probe_note got = decide_probe(c.link, c.arp_error, inet_addr(c.target));
        EXPECT_EQ(got.way, c.way);
        EXPECT_EQ(got.why_not, c.why_not);
    }
}

// What a probe's answers mean for the plan: who may answer for an address
// that a row gives, and who may not.
TEST_F(ProbeTest, VerdictTable) {
    answer("10.0.0.10", "02:00:00:00:00:0a", "10.0.0.5");
    answer("10.0.0.11", "02:00:00:00:00:0b", "10.0.0.6");
    answer("10.0.0.12", "02:00:00:00:00:0c", "10.0.0.7", "dhcp=1");
    answer("10.0.0.13", "02:00:00:00:00:0d", "10.0.0.8");
    answers.back().segment = 1;  // heard on another segment
    const std::string pc = "02:00:5e:00:53:99";
    const struct {
        const char* name;
        std::string plan;
        const char* target;
        probe_note how;
        std::vector<std::string> holders;
        std::string findings;  // errors, then warnings
    } cases[] = {
        {"nobody_answered",
         "mac,ip\n02:00:00:00:00:0a,10.0.0.20\n",
         "10.0.0.20",
         {probe_note::arp, {}},
         {},
         ""},
        {"a_host_answered",
         "mac,ip\n02:00:00:00:00:0a,10.0.0.77\n",
         "10.0.0.77",
         {probe_note::arp, {}},
         {pc},
         "2: ip 10.0.0.77 is held by 02:00:5e:00:53:99 on zka (it answered an ARP probe)\n"},
        {"a_host_answered_the_kernel",
         "mac,ip\n02:00:00:00:00:0a,10.0.0.77\n",
         "10.0.0.77",
         {probe_note::kernel, {}},
         {pc},
         "2: ip 10.0.0.77 is held by 02:00:5e:00:53:99 on zka (it answered the kernel's address "
         "resolution)\n"},
        {"the_device_itself",
         "mac,ip\n02:00:00:00:00:0a,10.0.0.77\n",
         "10.0.0.77",
         {probe_note::arp, {}},
         {"02:00:00:00:00:0a"},
         ""},
        {"two_devices_swap",
         "mac,ip\n02:00:00:00:00:0a,10.0.0.6\n02:00:00:00:00:0b,10.0.0.5\n",
         "10.0.0.6",
         {probe_note::arp, {}},
         {"02:00:00:00:00:0b"},
         ""},
        // The conflict check refuses this one already.
        {"holder_stays",
         "mac,ip\n02:00:00:00:00:0a,10.0.0.6\n",
         "10.0.0.6",
         {probe_note::arp, {}},
         {"02:00:00:00:00:0b"},
         ""},
        {"holder_under_dhcp_may_keep_it",
         "mac,ip\n02:00:00:00:00:0a,10.0.0.7\n",
         "10.0.0.7",
         {probe_note::arp, {}},
         {"02:00:00:00:00:0c"},
         "2: ip 10.0.0.7 is held by 02:00:00:00:00:0c on zka (it answered an ARP probe)\n"},
        {"holder_on_another_segment_is_a_stranger",
         "mac,ip\n02:00:00:00:00:0a,10.0.0.8\n",
         "10.0.0.8",
         {probe_note::arp, {}},
         {"02:00:00:00:00:0d"},
         "2: ip 10.0.0.8 is held by 02:00:00:00:00:0d on zka (it answered an ARP probe)\n"},
        {"not_probed_warned",
         "mac,ip,gateway\n02:00:00:00:00:0a,10.9.0.6,10.9.0.1\n",
         "10.9.0.6",
         {probe_note::skipped, "needs CAP_NET_RAW"},
         {pc},
         "Warning: 10.9.0.6 was not probed for other hosts (needs CAP_NET_RAW)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prober p;
        p.links = {zka()};
        p.by_device["02:00:00:00:00:0a"] = {0, inet_addr(c.target)};
        probe& asked = p.probes[{0, inet_addr(c.target)}];
        asked.how = c.how;
        asked.holders = c.holders;
        std::vector<row_result> r = rows(c.plan);
        std::vector<std::string> warnings;
        std::string out;
        for (const plan_error& e : probe_findings(r, answers, p, warnings))
            out += std::to_string(e.line) + ": " + e.message + "\n";
        for (const std::string& w : warnings) out += w + "\n";
        EXPECT_EQ(out, c.findings);
        EXPECT_EQ(r[0].probe.way, c.how.way);
    }
}

// Which rows give their device an address to probe.
TEST_F(ProbeTest, NewAddressTable) {
    answer("10.0.0.10", "02:00:00:00:00:0a", "10.0.0.5");
    answer("10.0.0.11", "02:00:00:00:00:0b", "10.0.0.6", "dhcp=1");
    const struct {
        const char *name, *plan, *target;
    } cases[] = {
        {"new_address", "mac,ip\n02:00:00:00:00:0a,10.0.0.20\n", "10.0.0.20"},
        {"held_already", "mac,ip\n02:00:00:00:00:0a,10.0.0.5\n", nullptr},
        {"no_ip_given", "mac,mtu\n02:00:00:00:00:0a,1400\n", nullptr},
        {"dhcp_switched_on", "mac,ip,dhcp\n02:00:00:00:00:0a,10.0.0.20,1\n", nullptr},
        {"fixed_where_dhcp_gave_it", "mac,ip,dhcp\n02:00:00:00:00:0b,10.0.0.6,0\n", "10.0.0.6"},
        {"still_under_dhcp", "mac,ip\n02:00:00:00:00:0b,10.0.0.20\n", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<row_result> r = rows(c.plan);
        const std::optional<in_addr_t> got = new_address(*r[0].row, *r[0].found);
        EXPECT_EQ(got, c.target ? std::optional<in_addr_t>(inet_addr(c.target)) : std::nullopt);
    }
}

}  // namespace
