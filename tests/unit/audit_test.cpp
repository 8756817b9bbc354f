#include "audit.h"

#include <gtest/gtest.h>

#include <string>

#include "batch_fixture.h"

namespace {

class AuditTest : public ::testing::Test, protected batch_fixture {};

// One record per row, whatever the devices sent: every value safe, and
// parseable as key=value pairs.
TEST_F(AuditTest, RecordTable) {
    answer("192.0.2.10", "02:00:00:00:00:0a", "10.0.0.5");
    answer("192.0.2.11", "02:00:00:00:00:0b", "1 x=\"y\"\\",
           "ns=a b\x1b[2J\xc2\x9b\x7f"
           "c=d");
    answer("192.0.2.12", "02:00:00:00:00:0c", "10.0.0.7", "ns=10.0.0.53");
    answers.back().interface.clear();
    const struct {
        const char* name;
        std::string plan;
        outcome result;
        audit_user user;
        std::string record;
    } cases[] = {
        {"ordinary_row",
         "mac,ip,mtu,nameserver\n02-00-00-00-00-0A,10.0.0.9,1400,10.0.0.53\n",
         outcome::saved,
         {"ops", 1000, ""},
         "mac=02:00:00:00:00:0a interface=zk0 old_ip=10.0.0.5 new_ip=10.0.0.9 "
         "old_netmask=255.255.255.0 new_netmask=255.255.255.0 old_gateway=10.0.0.1 "
         "new_gateway=10.0.0.1 old_dhcp=0 new_dhcp=0 old_mtu=1500 new_mtu=1400 "
         "old_nameserver=\"\" new_nameserver=10.0.0.53 user=ops uid=1000 outcome=saved"},
        {"hostile_device_texts_nameserver_none",
         "mac,ip,nameserver\n02:00:00:00:00:0b,10.0.0.9,none\n",
         outcome::refused,
         {"ops", 1000, ""},
         "mac=02:00:00:00:00:0b interface=zk0 old_ip=\"1 x=\\\"y\\\"\\\\\" new_ip=10.0.0.9 "
         "old_netmask=255.255.255.0 new_netmask=255.255.255.0 old_gateway=10.0.0.1 "
         "new_gateway=10.0.0.1 old_dhcp=0 new_dhcp=0 old_mtu=1500 new_mtu=1500 "
         "old_nameserver=\"a b\\x1b[2J\\xc2\\x9b\\x7fc=d\" new_nameserver=\"\" user=ops uid=1000 "
         "outcome=\"refused by device\""},
        {"empty_interface_and_user",
         "mac,dhcp\n02:00:00:00:00:0c,1\n",
         outcome::unconfirmed,
         {"", 4294967294, ""},
         "mac=02:00:00:00:00:0c interface=\"\" old_ip=10.0.0.7 new_ip=10.0.0.7 "
         "old_netmask=255.255.255.0 new_netmask=255.255.255.0 old_gateway=10.0.0.1 "
         "new_gateway=10.0.0.1 old_dhcp=0 new_dhcp=1 old_mtu=1500 new_mtu=1500 "
         "old_nameserver=10.0.0.53 new_nameserver=10.0.0.53 user=\"\" uid=4294967294 "
         "outcome=\"no confirmation\""},
        {"through_the_server",
         "mac,mtu\n02:00:00:00:00:0a,1400\n",
         outcome::verified,
         {"root", 0, "::1"},
         "mac=02:00:00:00:00:0a interface=zk0 old_ip=10.0.0.5 new_ip=10.0.0.5 "
         "old_netmask=255.255.255.0 new_netmask=255.255.255.0 old_gateway=10.0.0.1 "
         "new_gateway=10.0.0.1 old_dhcp=0 new_dhcp=0 old_mtu=1500 new_mtu=1400 "
         "old_nameserver=\"\" new_nameserver=\"\" user=root uid=0 via=http peer=::1 "
         "outcome=verified"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<row_result> r = rows(c.plan);
        ASSERT_EQ(r.size(), 1u);
        ASSERT_EQ(r[0].result, outcome::planned);
        r[0].result = c.result;
        EXPECT_EQ(audit_record(r[0], c.user), c.record);
    }
}

}  // namespace
