#include "settings_body.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What a row holds, as one text: each setting given, by name.
std::string settings(const plan_row& r) {
    std::string out;
    if (r.ip) out += " ip=" + *r.ip;
    if (r.netmask) out += " netmask=" + *r.netmask;
    if (r.gateway) out += " gateway=" + *r.gateway;
    if (r.dhcp) out += " dhcp=" + std::to_string(*r.dhcp);
    if (r.mtu) out += " mtu=" + std::to_string(*r.mtu);
    if (r.nameserver) out += " nameserver=" + *r.nameserver;
    return out;
}

TEST(SettingsBodyTest, ParsingTable) {
    const struct {
        const char* body;
        const char* read;   // the settings taken, or
        const char* field;  // the field refused and
        const char* error;  // why
    } cases[] = {
        {R"({})", "", "", ""},
        {R"({"ip":"192.0.2.20","netmask":"255.255.255.0","gateway":"192.0.2.1"})",
         " ip=192.0.2.20 netmask=255.255.255.0 gateway=192.0.2.1", "", ""},
        {R"({"ip":"192.000.002.020"})", " ip=192.0.2.20", "", ""},
        {R"({"mtu":1400,"dhcp":false})", " dhcp=0 mtu=1400", "", ""},
        {R"({"mtu":"500","dhcp":"yes"})", " dhcp=1 mtu=500", "", ""},
        {R"({"dhcp":true})", " dhcp=1", "", ""},
        {R"({"dhcp":1})", " dhcp=1", "", ""},
        {R"({"nameserver":"ns1.example"})", " nameserver=ns1.example", "", ""},
        {R"({"nameserver":"none"})", " nameserver=", "", ""},
        {R"({"nameserver":""})", " nameserver=", "", ""},
        {R"({"ip":null,"mtu":1500})", " mtu=1500", "", ""},
        {R"({"mtu":1600})", "", "mtu", "mtu value out-of-range!"},
        {R"({"mtu":499})", "", "mtu", "mtu value out-of-range!"},
        {R"({"mtu":-1})", "", "mtu", "mtu value out-of-range!"},
        {R"({"mtu":1400.5})", "", "mtu", "mtu value out-of-range!"},
        {R"({"mtu":"15OO"})", "", "mtu", "mtu value out-of-range!"},
        {R"({"ip":"192.0.2"})", "", "ip", "Failed: ip address invalid!"},
        {R"({"ip":1})", "", "ip", "Failed: ip address invalid!"},
        {R"({"netmask":"255.255.255.256"})", "", "netmask", "Failed: netmask invalid!"},
        {R"({"gateway":["192.0.2.1"]})", "", "gateway", "Failed: gateway address invalid!"},
        {R"({"dhcp":"maybe"})", "", "dhcp", "dhcp is not true, false, 0, 1, yes or no"},
        {R"({"dhcp":2})", "", "dhcp", "dhcp is not true, false, 0, 1, yes or no"},
        {R"({"nameserver":"a b"})", "", "nameserver",
         "nameserver is not one word of at most 127 characters"},
        {R"({"nameserver":"a;ip=1.2.3.4"})", "", "nameserver",
         "nameserver is not one word of at most 127 characters"},
        {R"({"mac":"02:00:00:00:00:01"})", "", "", "unknown key 'mac'"},
        {R"({"ip":"192.0.2.20","colour":null})", "", "", "unknown key 'colour'"},
        {R"([])", "", "", "the body is not a JSON object"},
        {R"("ip")", "", "", "the body is not a JSON object"},
        {R"({"ip":"192.0.2.20")", "", "", "the body is not a JSON object"},
        {"", "", "", "the body is not a JSON object"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        plan_row row;
        settings_error error;
        const bool read = read_settings(c.body, row, error);
        EXPECT_EQ(read, std::string(c.error).empty());
        EXPECT_EQ(error.field, c.field);
        EXPECT_EQ(error.message, c.error);
        if (read) {
            EXPECT_EQ(settings(row), c.read);
        }
    }
    // A nameserver of the prompt's length is taken, one longer is not.
    plan_row row;
    settings_error error;
    EXPECT_TRUE(read_settings(R"({"nameserver":")" + std::string(127, 'n') + "\"}", row, error));
    EXPECT_FALSE(read_settings(R"({"nameserver":")" + std::string(128, 'n') + "\"}", row, error));
}

}  // namespace
