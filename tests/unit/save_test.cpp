#include "save.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

const std::string base_message =
    "set hw=00:11:22:33:44:55;ip=10.0.0.5;nm=255.255.255.0;mtu=1500;gw=10.0.0.1;dhcp=0;";

class SaveTest : public ::testing::Test {
protected:
    // d and saved are the program's globals; each case selects its own entry.
    void SetUp() override {
        set(dev.hw, "00:11:22:33:44:55");
        set(dev.ip, "10.0.0.5");
        set(dev.nm, "255.255.255.0");
        set(dev.gw, "10.0.0.1");
        dev.mtu = 1500;
        dev.addr = inet_addr("192.0.2.10");
        d = &dev;
        saved = false;
    }
    void TearDown() override {
        d = nullptr;
        saved = false;
    }

    template <std::size_t N>
    static void set(char (&field)[N], const char* text) {
        field[std::string_view(text).copy(field, N - 1)] = '\0';
    }

    // Composes into a buffer that starts full of garbage, so a missing terminator shows.
    static std::pair<int, std::string> compose(const device_entry& e) {
        char msg[set_message_size];
        std::memset(msg, '#', sizeof msg);
        int len = compose_set_message(e, msg);
        if (len < 0) return {len, ""};
        return {len, std::string(msg, strnlen(msg, sizeof msg))};
    }

    device_entry dev{};
};

TEST_F(SaveTest, SetMessageTable) {
    const struct {
        const char* name;
        std::function<void(device_entry&)> edit;
        std::string message;
    } cases[] = {
        {"dhcp_off_no_ns", [](device_entry&) {}, base_message},
        {"dhcp_on_with_ns",
         [](device_entry& e) {
             e.dhcp = 1;
             e.ns = "10.0.0.2";
         },
         "set "
         "hw=00:11:22:33:44:55;ip=10.0.0.5;nm=255.255.255.0;mtu=1500;gw=10.0.0.1;dhcp=1;ns=10.0.0."
         "2;"},
        {"dhcp_on_no_ns", [](device_entry& e) { e.dhcp = 1; },
         "set hw=00:11:22:33:44:55;ip=10.0.0.5;nm=255.255.255.0;mtu=1500;gw=10.0.0.1;dhcp=1;"},
        {"empty_ns_left_out", [](device_entry& e) { e.ns = ""; }, base_message},
        {"signed_mtu", [](device_entry& e) { e.mtu = INT32_MIN; },
         "set "
         "hw=00:11:22:33:44:55;ip=10.0.0.5;nm=255.255.255.0;mtu=-2147483648;gw=10.0.0.1;dhcp=0;"},
        {"empty_fields", [](device_entry& e) { e = device_entry{}; },
         "set hw=;ip=;nm=;mtu=0;gw=;dhcp=0;"},
        // Device texts go back to the device exactly as it sent them.
        {"raw_bytes_sent_unchanged",
         [](device_entry& e) {
             set(e.gw, "10.0.0.1\x1b\x7f");
             e.ns = "a\tb";
         },
         "set "
         "hw=00:11:22:33:44:55;ip=10.0.0.5;nm=255.255.255.0;mtu=1500;gw=10.0.0.1\x1b\x7f;dhcp=0;ns="
         "a\tb;"},
        // Where the limit lies, fuzz_menu and the e2e cases save_message_of_* show.
        {"too_long_refused", [](device_entry& e) { e.ns = std::string(500, 'n'); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        device_entry e = dev;
        c.edit(e);
        auto [len, message] = compose(e);
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(len, c.message.empty() ? -1 : static_cast<int>(c.message.size()));
    }
}

TEST_F(SaveTest, VerifyConfigTable) {
    const struct {
        const char *ip, *nm, *gw;
        int dhcp;
        const char* failure;  // nullptr when the check passes
    } cases[] = {
        {"10.0.0.5", "255.255.255.0", "10.0.0.1", 0, nullptr},
        {"", "255.255.255.0", "10.0.0.1", 0, "Failed: ip address invalid!\n"},
        {"10.0.0.256", "255.255.255.0", "10.0.0.1", 0, "Failed: ip address invalid!\n"},
        {"a.b.c.d", "", "", 0, "Failed: ip address invalid!\n"},
        {"10.0.0.5", "", "", 0, "Failed: netmask invalid!\n"},
        {"10.0.0.5", "255.255.255.0.0", "10.0.0.1", 0, "Failed: netmask invalid!\n"},
        {"10.0.0.5", "255.255.255.0", "", 0, "Failed: gateway address invalid!\n"},
        {"10.0.0.5", "255.255.255.0", "", 1, "Failed: gateway address invalid!\n"},
        {"10.0.0.5", "255.255.255.0", "gw", 0, "Failed: gateway address invalid!\n"},
        {"10.0.0.5", "255.255.255.0", "10.0.1.1", 0,
         "Failed: ip address and gateway are not part of the same network!\n"},
        {"10.0.0.5", "255.255.255.0", "10.0.1.1", 1,
         "Failed: ip address and gateway are not part of the same network!\n"},
        {"10.0.0.5", "255.255.0.0", "10.0.1.1", 0, nullptr},
        {"10.1.0.5", "255.0.255.0", "10.2.0.1", 0, nullptr},
        {"10.0.0.5", "0.0.0.0", "192.0.2.1", 0, nullptr},
        // The conversion is inet_aton's, which takes short and hexadecimal forms.
        {"10.5", "255.0.0.0", "0x0a.0.0.1", 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ip) + " " + c.nm + " " + c.gw);
        set(dev.ip, c.ip);
        set(dev.nm, c.nm);
        set(dev.gw, c.gw);
        dev.dhcp = static_cast<uint8_t>(c.dhcp);
        char* buf = nullptr;
        std::size_t len = 0;
        std::FILE* out = open_memstream(&buf, &len);
        ASSERT_NE(out, nullptr);
        bool ok = verify_config(out);
        std::fclose(out);
        std::string printed(buf, len);
        std::free(buf);
        EXPECT_EQ(ok, c.failure == nullptr);
        EXPECT_EQ(printed, c.failure == nullptr ? "" : c.failure);
        EXPECT_STREQ(config_problem(dev), c.failure);
    }
}

// The plain answers (a confirmation, bare or with CR LF, "err", and one
// from another address) are in the e2e cases save_*, the confirmation of
// a device without a hw in fuzz_menu's seed save-no-hw.
TEST_F(SaveTest, SaveResponseTable) {
    const struct {
        const char* name;
        const char* hw;
        const char* sender;
        std::string text;
        bool saved_before;
        bool stops, saved_after;
    } cases[] = {
        {"other_address_leaves_flag", "00:11:22:33:44:55", "192.0.2.11", "err", true, false, true},
        {"tail_not_looked_at", "00:11:22:33:44:55", "192.0.2.10",
         "ok hw=00:11:22:33:44:55 and more", false, true, true},
        {"err_clears_flag", "00:11:22:33:44:55", "192.0.2.10", "err", true, true, false},
        {"empty_ends_with_failure", "00:11:22:33:44:55", "192.0.2.10", "", false, true, false},
        {"other_hw", "00:11:22:33:44:55", "192.0.2.10", "ok hw=00:11:22:33:44:66", false, true,
         false},
        {"hw_cut_short", "00:11:22:33:44:55", "192.0.2.10", "ok hw=00:11:22:33:44:5", false, true,
         false},
        {"prefix_case_matters", "00:11:22:33:44:55", "192.0.2.10", "OK hw=00:11:22:33:44:55", false,
         true, false},
        {"empty_hw_any_tail", "", "192.0.2.10", "ok hw=00:11:22:33:44:55", false, true, true},
        {"empty_hw_prefix_cut", "", "192.0.2.10", "ok hw", false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        set(dev.hw, c.hw);
        saved = c.saved_before;
        std::string text = c.text;
        EXPECT_EQ(save_response(inet_addr(c.sender), text.data()), c.stops);
        EXPECT_EQ(saved, c.saved_after);
    }
}

}  // namespace
