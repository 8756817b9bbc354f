#include "plan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Errors as "LINE: message" lines; rows, when there is no error, as
// "LINE mac ip/netmask/gateway/dhcp/mtu/nameserver" with '*' for kept values.
std::string checked(std::string_view text) {
    const plan p = read_plan(text);
    std::string out;
    for (const plan_error& e : p.errors) out += std::to_string(e.line) + ": " + e.message + "\n";
    if (!out.empty()) return out;
    const auto str = [](const std::optional<std::string>& v) { return v.value_or("*"); };
    const auto num = [](const auto& v) { return v ? std::to_string(*v) : std::string("*"); };
    for (const plan_row& r : p.rows)
        out += std::to_string(r.line) + " " + r.mac + " " + str(r.ip) + "/" + str(r.netmask) + "/" +
               str(r.gateway) + "/" + num(r.dhcp) + "/" + num(r.mtu) + "/" + str(r.nameserver) +
               "\n";
    return out;
}

const std::string head = "mac,ip,netmask,gateway,dhcp,mtu,nameserver,from\n";
const std::string mac_a = "02:00:00:00:00:0a", mac_b = "02:00:00:00:00:0b";

// Rows as read, or every error with its line. A spreadsheet's plan (header
// names in any case with blanks, MACs with dashes, semicolons, a byte order
// mark, CR LF, quoted cells) is in the e2e cases all_saved_from_plan_file
// and plan_with_semicolons_applied.
TEST(PlanTest, ReadTable) {
    const struct {
        const char* name;
        std::string text, checked;
    } cases[] = {
        {"inventory_line", head + mac_a + ",10.0.0.5,255.255.255.0,10.0.0.1,0,1500,,192.0.2.10\n",
         "2 " + mac_a + " 10.0.0.5/255.255.255.0/10.0.0.1/0/1500/*\n"},
        {"columns_in_any_order_and_empty_cells_kept", "mtu,mac\n,02:00:00:00:00:0A\n",
         "2 02:00:00:00:00:0A */*/*/*/*/*\n"},
        {"canonical_addresses", "ip,mac,gateway\n010.0.0.005," + mac_a + ", 1.2.3.4junk\n",
         "2 " + mac_a + " 10.0.0.5/*/1.2.3.4/*/*/*\n"},
        {"dhcp_words_and_mtu_limits",
         "mac,dhcp,mtu\n" + mac_a + ",yes,500\n" + mac_b + ",no,1500\n",
         "2 " + mac_a + " */*/*/1/500/*\n3 " + mac_b + " */*/*/0/1500/*\n"},
        {"nameserver_none_clears", "mac,nameserver\n" + mac_a + ",none\n" + mac_b + ",None\n",
         "2 " + mac_a + " */*/*/*/*/\n3 " + mac_b + " */*/*/*/*/None\n"},
        {"comments_blank_lines_bom_crlf",
         "\xEF\xBB\xBF# fleet\r\n\r\nmac\r\n# " + mac_a + "\r\n" + mac_a + "\r\n",
         "5 " + mac_a + " */*/*/*/*/*\n"},
        {"header_only", "mac,ip\n", ""},
        {"same_ip_left_empty_twice", "mac,ip\n" + mac_a + ",\n" + mac_b + ",\n",
         "2 " + mac_a + " */*/*/*/*/*\n3 " + mac_b + " */*/*/*/*/*\n"},
        // Errors: any voids the plan.
        {"empty", "", "0: no header line\n"},
        {"no_mac_column", "ip\n10.0.0.5\n", "1: no 'mac' column\n"},
        // Without a header to read them by, rows give no more errors.
        {"unknown_and_repeated_columns",
         "mac,IPaddr,mtu,MTU ,\n" + mac_a + ",,,,\n" + mac_a + ",,,,\n",
         "1: unknown column 'IPaddr'\n1: column 'MTU ' given twice\n1: unknown column ''\n"},
        {"semicolon_and_comma_in_header", "mac;ip,mtu\n" + mac_a + ";,\n",
         "1: unknown column 'mac;ip'\n1: no 'mac' column\n"},
        {"malformed_header", "mac,\"ip\n", "1: malformed line: a quoted field is not closed\n"},
        {"malformed_lines_with_numbers",
         "mac,ip\n\n" + mac_a + "\n" + mac_b + ",1.2.3.4,x\n" + "a\"b,c\n",
         "3: malformed line: 1 fields, the header has 2\n"
         "4: malformed line: 3 fields, the header has 2\n"
         "5: malformed line: a quote inside an unquoted field\n"},
        {"bad_macs",
         "mtu,mac\n600,\n,02:00:00:00:00\n,02-00:00-00-00-0a\n,02:00:00:00:00:0g\n,02.00.00.00.00."
         "0a\n,x2:00:00:00:00:0a\n",
         "2: mac: '' is not a MAC address (xx:xx:xx:xx:xx:xx or xx-xx-...)\n"
         "3: mac: '02:00:00:00:00' is not a MAC address (xx:xx:xx:xx:xx:xx or xx-xx-...)\n"
         "4: mac: '02-00:00-00-00-0a' is not a MAC address (xx:xx:xx:xx:xx:xx or xx-xx-...)\n"
         "5: mac: '02:00:00:00:00:0g' is not a MAC address (xx:xx:xx:xx:xx:xx or xx-xx-...)\n"
         "6: mac: '02.00.00.00.00.0a' is not a MAC address (xx:xx:xx:xx:xx:xx or xx-xx-...)\n"
         "7: mac: 'x2:00:00:00:00:0a' is not a MAC address (xx:xx:xx:xx:xx:xx or xx-xx-...)\n"},
        // Each in its canonical form first, then last.
        {"mac_twice_any_case_or_separator",
         "mac\n" + mac_a + "\n02:00:00:00:00:0A\n02-00-00-00-00-0a\n02-00-00-00-00-0B\n" + mac_b +
             "\n",
         "3: MAC 02:00:00:00:00:0a given twice (first on line 2)\n"
         "4: MAC 02:00:00:00:00:0a given twice (first on line 2)\n"
         "6: MAC 02:00:00:00:00:0b given twice (first on line 5)\n"},
        {"ip_twice_in_any_form",
         "mac,ip\n" + mac_a + ",10.0.0.5\n" + mac_b + ",10.0.0.05\n02:00:00:00:00:0c,10.0.0.006\n" +
             "02:00:00:00:00:0d,10.0.0.6\n",
         "3: IP address 10.0.0.5 given twice (first on line 2)\n"
         "5: IP address 10.0.0.6 given twice (first on line 4)\n"},
        {"addresses_the_prompt_refuses",
         "mac,ip,netmask,gateway\n" + mac_a + ",1.2.3,255.255.255.256,192.168.100.1000\n",
         "2: ip: '1.2.3' is not an IPv4 address\n"
         "2: netmask: '255.255.255.256' is not an IPv4 address\n"
         "2: gateway: '192.168.100.1000' is not an IPv4 address\n"},
        {"mtu_outside_500_to_1500",
         "mac,mtu\n" + mac_a + ",499\n" + mac_b +
             ",1501\n02:00:00:00:00:0c,+600\n02:00:00:00:00:0d,15000\n",
         "2: mtu: '499' is not a number from 500 to 1500\n"
         "3: mtu: '1501' is not a number from 500 to 1500\n"
         "4: mtu: '+600' is not a number from 500 to 1500\n"
         "5: mtu: '15000' is not a number from 500 to 1500\n"},
        {"dhcp_words", "mac,dhcp\n" + mac_a + ",true\n" + mac_b + ",Yes\n",
         "2: dhcp: 'true' is not 0, 1, yes or no\n3: dhcp: 'Yes' is not 0, 1, yes or no\n"},
        {"nameserver_not_one_word",
         "mac,nameserver\n" + mac_a + ",\"8.8.8.8 extra\"\n" + mac_b + ",a;ip=1.2.3.4\n" +
             "02:00:00:00:00:0c," + std::string(128, 'n') + "\n",
         "2: nameserver: '8.8.8.8 extra' is not one word of at most 127 characters\n"
         "3: nameserver: 'a;ip=1.2.3.4' is not one word of at most 127 characters\n"
         "4: nameserver: '" +
             std::string(40, 'n') + "...' is not one word of at most 127 characters\n"},
        {"control_bytes_shown_in_messages", "mac,ip\n" + mac_a + ",\"1\x1b[2J\"\n",
         "2: ip: '1?[2J' is not an IPv4 address\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(checked(c.text), c.checked);
    }
}

}  // namespace
