#include "devices.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

class DevicesTest : public ::testing::Test {
protected:
    // The list is global state of the program; every case starts from an empty one.
    void SetUp() override {
        devs = nullptr;
        num_devs = 0;
        d = nullptr;
    }
    void TearDown() override { clear_list(); }

    static void clear_list() {
        while (devs != nullptr) {
            device_entry* next = devs->next;
            delete devs;
            devs = next;
        }
        num_devs = 0;
        d = nullptr;
    }

    // Runs device_found on a copy of reply and returns what it printed.
    static std::string found(const char* sender, std::string reply) {
        testing::internal::CaptureStdout();
        bool stop = device_found(inet_addr(sender), reply.data());
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_FALSE(stop) << "the scan must run until its time-out";
        return printed;
    }
};

// What parse_reply leaves in a zero-filled entry.
struct parse_case {
    const char* name;
    std::string reply;
    std::string hw, ip, nm;
    int32_t mtu;
    std::string gw;
    int dhcp;
    std::string ns;
};

const std::string mac = "00:11:22:33:44:55";
const std::string ip16 = "100.100.100.1001";

const std::vector<parse_case> parse_cases = {
    {"every_field",
     "hw=00:11:22:33:44:55;ip=10.0.0.5;nm=255.255.255.0;gw=10.0.0.1;mtu=1400;dhcp=0;ns=10.0.0.1",
     mac, "10.0.0.5", "255.255.255.0", 1400, "10.0.0.1", 0, "10.0.0.1"},
    {"value_ends_at_cr_lf", "ip=10.0.0.5\r\n", "", "10.0.0.5", "", 0, "", 0, ""},
    {"rest_of_token_after_lf_dropped", "ip=10.0.0.5\nmtu=9;gw=1.1.1.1", "", "10.0.0.5", "", 0,
     "1.1.1.1", 0, ""},
    {"empty_value_skipped", "mtu=\r\n", "", "", "", 0, "", 0, ""},
    {"empty_value_keeps_earlier", "ip=1.1.1.1;ip=\r2.2.2.2;ns=x;ns=", "", "1.1.1.1", "", 0, "", 0,
     "x"},
    {"key_after_cr_lf_matches_nothing", "hw=00:11:22:33:44:55;\r\nip=10.0.0.5", mac, "", "", 0, "",
     0, ""},
    {"key_not_trimmed", " ip=10.0.0.5;gw =1.1.1.1", "", "", "", 0, "", 0, ""},
    {"value_keeps_leading_blank", "ip= 10.0.0.5", "", " 10.0.0.5", "", 0, "", 0, ""},
    {"keys_case_sensitive", "IP=10.0.0.5;Hw=00:11:22:33:44:55", "", "", "", 0, "", 0, ""},
    {"keys_matched_whole", "hwaddr=00:11:22:33:44:55;i=1.1.1.1;ipv4=2.2.2.2;nsx=3;m=5", "", "", "",
     0, "", 0, ""},
    {"split_at_first_equals", "ip=1.2.3.4=x;nm==255", "", "1.2.3.4=x", "=255", 0, "", 0, ""},
    {"malformed_tokens_passed_over", "ip;=5;;gw=1.1.1.1;", "", "", "", 0, "1.1.1.1", 0, ""},
    {"hw_any_17_characters", "hw=abcdefghijklmnopq", "abcdefghijklmnopq", "", "", 0, "", 0, ""},
    {"hw_11_characters_ignored", "hw=0:1:2:3:4:5", "", "", "", 0, "", 0, ""},
    {"hw_16_characters_ignored", "hw=00:11:22:33:44:5", "", "", "", 0, "", 0, ""},
    {"hw_18_characters_ignored", "hw=00:11:22:33:44:555", "", "", "", 0, "", 0, ""},
    {"later_hw_replaces", "hw=00:11:22:33:44:55;hw=aa:bb:cc:dd:ee:ff", "aa:bb:cc:dd:ee:ff", "", "",
     0, "", 0, ""},
    {"later_bad_hw_keeps_earlier", "hw=00:11:22:33:44:55;hw=short", mac, "", "", 0, "", 0, ""},
    {"address_15_characters_kept", "ip=100.100.100.100;nm=255.255.255.255;gw=200.200.200.200", "",
     "100.100.100.100", "255.255.255.255", 0, "200.200.200.200", 0, ""},
    {"address_16_characters_ignored", "ip=" + ip16 + ";nm=" + ip16 + ";gw=" + ip16, "", "", "", 0,
     "", 0, ""},
    {"address_contents_not_tested", "ip=hello;nm=x;gw=-", "", "hello", "x", 0, "-", 0, ""},
    {"shorter_repeat_replaces_whole",
     "ip=100.100.100.100;ip=1.2.3.4;nm=255.255.255.0;nm=0;gw=10.0.0.100;gw=9", "", "1.2.3.4", "0",
     0, "9", 0, ""},
    {"ignored_repeat_keeps_earlier", "ip=1.2.3.4;ip=" + ip16, "", "1.2.3.4", "", 0, "", 0, ""},
    {"mtu_negative", "mtu=-3", "", "", "", -3, "", 0, ""},
    {"mtu_blank_and_sign", "mtu= \t+77x", "", "", "", 77, "", 0, ""},
    {"mtu_no_digits", "mtu=abc", "", "", "", 0, "", 0, ""},
    {"mtu_sign_only", "mtu=-", "", "", "", 0, "", 0, ""},
    {"mtu_leading_zeros", "mtu=000000000000000000001400", "", "", "", 1400, "", 0, ""},
    {"mtu_int32_max", "mtu=2147483647", "", "", "", INT32_MAX, "", 0, ""},
    {"mtu_just_above_max", "mtu=2147483648", "", "", "", INT32_MAX, "", 0, ""},
    {"mtu_far_above_max", "mtu=99999999999999999999999", "", "", "", INT32_MAX, "", 0, ""},
    {"mtu_int32_min", "mtu=-2147483648", "", "", "", INT32_MIN, "", 0, ""},
    {"mtu_just_below_min", "mtu=-2147483649", "", "", "", INT32_MIN, "", 0, ""},
    {"later_mtu_replaces", "mtu=1400;mtu=abc", "", "", "", 0, "", 0, ""},
    {"dhcp_1", "dhcp=1", "", "", "", 0, "", 1, ""},
    {"dhcp_first_char_1", "dhcp=10", "", "", "", 0, "", 1, ""},
    {"dhcp_other_values_off", "dhcp=yes", "", "", "", 0, "", 0, ""},
    {"dhcp_2_off", "dhcp=2", "", "", "", 0, "", 0, ""},
    {"dhcp_blank_first_off", "dhcp= 1", "", "", "", 0, "", 0, ""},
    {"later_dhcp_replaces", "dhcp=1;dhcp=0", "", "", "", 0, "", 0, ""},
    {"ns_any_length", "ns=" + std::string(300, 'n'), "", "", "", 0, "", 0, std::string(300, 'n')},
    {"later_ns_replaces", "ns=" + std::string(40, 'a') + ";ns=b", "", "", "", 0, "", 0, "b"},
};

TEST_F(DevicesTest, ParseReplyTable) {
    for (const parse_case& c : parse_cases) {
        SCOPED_TRACE(c.name);
        device_entry e{};
        std::string text = c.reply;
        parse_reply(e, text.data());
        EXPECT_EQ(e.hw, c.hw);
        EXPECT_EQ(e.ip, c.ip);
        EXPECT_EQ(e.nm, c.nm);
        EXPECT_EQ(e.mtu, c.mtu);
        EXPECT_EQ(e.gw, c.gw);
        EXPECT_EQ(e.dhcp, c.dhcp);
        EXPECT_EQ(e.ns, c.ns);
        // The buffers hold their terminator whatever the reply held.
        EXPECT_EQ(e.hw[sizeof e.hw - 1], '\0');
        EXPECT_EQ(e.ip[sizeof e.ip - 1], '\0');
        EXPECT_EQ(e.nm[sizeof e.nm - 1], '\0');
        EXPECT_EQ(e.gw[sizeof e.gw - 1], '\0');
    }
}

// The list line, the stored texts and the mtu default of one reply found first.
// Replies without a known key or an mtu, and bytes below 0x20 shown as '?',
// are in the e2e cases empty_reply, crlf_ends_value and
// control_bytes_shown_as_question_marks; that the texts are stored as
// received, fuzz/fuzz_reply.cpp checks.
struct found_case {
    const char* name;
    std::string reply;
    std::string line;
    std::string hw, ip;  // as stored: raw bytes
    int32_t mtu;
};

const std::vector<found_case> found_cases = {
    {"every_field",
     "hw=00:11:22:33:44:55;ip=10.0.0.5;nm=255.255.255.0;gw=10.0.0.1;mtu=1400;dhcp=0;ns=10.0.0.1",
     "[1] mac:00:11:22:33:44:55 ip:10.0.0.5\n", mac, "10.0.0.5", 1400},
    {"mtu_empty", "mtu=\r\n", "[1] mac: ip:\n", "", "", 1500},
    {"mtu_zero", "mtu=0", "[1] mac: ip:\n", "", "", 1500},
    {"mtu_no_digits_after_value", "mtu=1400;mtu=abc", "[1] mac: ip:\n", "", "", 1500},
    {"mtu_negative_stays", "mtu=-3", "[1] mac: ip:\n", "", "", -3},
    {"c1_controls_shown_as_question_mark", "ip=caf\xc3\xa9 \x9b\xc2\x9b\xff",
     "[1] mac: ip:caf\xc3\xa9 ?\xc2?\xff\n", "", "caf\xc3\xa9 \x9b\xc2\x9b\xff", 1500},
};

TEST_F(DevicesTest, DeviceFoundTable) {
    for (const found_case& c : found_cases) {
        SCOPED_TRACE(c.name);
        clear_list();
        EXPECT_EQ(found("192.0.2.10", c.reply), c.line);
        ASSERT_EQ(num_devs, 1);
        ASSERT_NE(devs, nullptr);
        EXPECT_EQ(devs->addr, inet_addr("192.0.2.10"));
        EXPECT_EQ(devs->hw, c.hw);
        EXPECT_EQ(devs->ip, c.ip);
        EXPECT_EQ(devs->mtu, c.mtu);
        EXPECT_EQ(devs->next, nullptr);
    }
}

}  // namespace
