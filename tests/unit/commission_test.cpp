#include "commission.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "batch_fixture.h"
#include "inventory.h"
#include "report.h"

namespace {

const char* const mac_a = "02:00:00:00:00:0a";
const char* const mac_b = "02:00:00:00:00:0b";

class CommissionTest : public ::testing::Test, protected batch_fixture {
protected:
    // Each row as "outcome (notes)", one a line.
    static std::string outcomes(const std::vector<row_result>& rows) {
        std::string out;
        for (const row_result& r : rows) {
            out += outcome_name(r.result);
            if (const std::string n = notes(r); !n.empty()) out += " (" + n + ")";
            out += "\n";
        }
        return out;
    }
};

// What each row needs, judged against the answers.
TEST_F(CommissionTest, MatchTable) {
    answer("192.0.2.10", mac_a, "10.0.0.5");
    answer("192.0.2.11", mac_b, "10.0.0.6");
    answer("192.0.2.12", "02:00:00:00:00:0c", "10.0.0.7");
    answer("192.0.2.13", "02:00:00:00:00:0c", "10.0.0.7");
    answer("192.0.2.14", "02:00:00:00:00:0d", "10.0.0.255", "ns=" + std::string(430, 'n'));
    answer("192.0.2.15", "02:00:00:00:00:0c", "10.0.0.7");
    const struct {
        const char* name;
        std::string plan, outcomes, message;  // message: the last row's set message
        std::string reversed = {};  // the outcomes from the answers reversed, where they differ
    } cases[] = {
        {"settings_held_unchanged",
         "mac,ip,netmask,mtu,dhcp,nameserver\n" + std::string(mac_a) +
             ",10.0.0.5,255.255.255.0,1500,no,none\n",
         "unchanged\n", ""},
        {"nothing_named_unchanged", "mac,ip\n" + std::string(mac_a) + ",\n", "unchanged\n", ""},
        {"one_setting_differs", "mac,ip,mtu\n" + std::string(mac_a) + ",10.0.0.5,1400\n",
         "planned\n",
         "set hw=02:00:00:00:00:0a;ip=10.0.0.5;nm=255.255.255.0;mtu=1400;gw=10.0.0.1;dhcp=0;"},
        // The device's own broadcast ip is not the plan's doing.
        {"address_rules_only_for_addresses_set", "mac,nameserver\n02:00:00:00:00:0D,none\n",
         "planned\n",
         "set hw=02:00:00:00:00:0d;ip=10.0.0.255;nm=255.255.255.0;mtu=1500;gw=10.0.0.1;dhcp=0;"},
        {"netmask_only_differs", "mac,netmask\n" + std::string(mac_a) + ",255.255.254.0\n",
         "planned\n",
         "set hw=02:00:00:00:00:0a;ip=10.0.0.5;nm=255.255.254.0;mtu=1500;gw=10.0.0.1;dhcp=0;"},
        {"mac_in_any_form", "mac,mtu\n02-00-00-00-00-0B,576\n", "planned\n",
         "set hw=02:00:00:00:00:0b;ip=10.0.0.6;nm=255.255.255.0;mtu=576;gw=10.0.0.1;dhcp=0;"},
        {"not_found_and_the_next_row", "mac,mtu\n02:00:00:00:00:99,576\n02:00:00:00:00:0b,576\n",
         "not found\nplanned\n",
         "set hw=02:00:00:00:00:0b;ip=10.0.0.6;nm=255.255.255.0;mtu=576;gw=10.0.0.1;dhcp=0;"},
        {"ambiguous", "mac,mtu\n02:00:00:00:00:0c,576\n",
         "ambiguous (answered from 192.0.2.12 and 192.0.2.13)\n", "",
         "ambiguous (answered from 192.0.2.15 and 192.0.2.13)\n"},
        {"zkdetect_check_fails", "mac,gateway\n" + std::string(mac_a) + ",10.0.1.1\n",
         "invalid (Failed: ip address and gateway are not part of the same network!)\n", ""},
        {"address_rule_fails", "mac,ip\n" + std::string(mac_a) + ",10.0.0.0\n",
         "invalid (ip 10.0.0.0 is the network address of 10.0.0.0/24)\n", ""},
        {"message_too_long", "mac,mtu\n02:00:00:00:00:0d,1400\n",
         "invalid (Error preparing save message!)\n", ""},
    };
    in_both_orders([&](bool reversed) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            const std::vector<row_result> r = rows(c.plan);
            EXPECT_EQ(outcomes(r), reversed && !c.reversed.empty() ? c.reversed : c.outcomes);
            ASSERT_FALSE(r.empty());
            EXPECT_EQ(r.back().message, c.message);
        }
    });
}

// Datagrams arriving during the saves, and what they decide.
TEST_F(CommissionTest, SaveBookTable) {
    answer("192.0.2.10", mac_a, "10.0.0.5");
    answer("192.0.2.10", mac_b, "10.0.0.6");  // behind the same address
    answer("192.0.2.12", "02:00:00:00:00:0c", "10.0.0.7");
    const std::string plan =
        std::string("mac,mtu\n") + mac_a + ",600\n" + mac_b + ",600\n02:00:00:00:00:0c,600\n";
    const std::string ok_a = std::string("ok hw=") + mac_a, ok_b = std::string("ok hw=") + mac_b;
    const struct {
        const char* name;
        int sends_of_a;  // set messages sent for a; one each for the others
        std::vector<std::pair<const char*, std::string>> datagrams;
        std::string decided, outcomes;  // per datagram: whether all are decided
    } cases[] = {
        {"each_confirms",
         1,
         {{"192.0.2.12", "ok hw=02:00:00:00:00:0c\r\n"},
          {"192.0.2.10", ok_b},
          {"192.0.2.10", ok_a}},
         "--+",
         "saved\nsaved\nsaved\n"},
        {"each_confirms_in_plan_order",
         1,
         {{"192.0.2.10", ok_a}, {"192.0.2.10", ok_b}, {"192.0.2.12", "ok hw=02:00:00:00:00:0c"}},
         "--+",
         "saved\nsaved\nsaved\n"},
        {"refusal_decides_first_in_plan_order",
         1,
         {{"192.0.2.10", "err"}, {"192.0.2.10", "err"}, {"192.0.2.12", "no"}},
         "--+",
         "refused by device\nrefused by device\nrefused by device\n"},
        {"other_addresses_decide_nothing",
         1,
         {{"192.0.2.11", ok_a}, {"192.0.2.12", ok_a}},
         "--",
         "no confirmation\nno confirmation\nrefused by device\n"},
        {"duplicate_confirmation_decides_nothing_twice",
         1,
         {{"192.0.2.10", ok_b}, {"192.0.2.10", ok_b}, {"192.0.2.10", "err"}},
         "---",
         "refused by device\nsaved\nno confirmation\n"},
        {"more_from_a_decided_address_decides_nothing",
         1,
         {{"192.0.2.12", "no"}, {"192.0.2.12", "no"}},
         "--",
         "no confirmation\nno confirmation\nrefused by device\n"},
        {"answer_to_a_message_sent_again_decides_nothing",
         2,
         {{"192.0.2.10", "err"}, {"192.0.2.10", "err"}, {"192.0.2.10", ok_b}},
         "---",
         "refused by device (2 tries)\nsaved\nno confirmation\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<row_result> r = rows(plan);
        save_book book;
        for (row_result& row : r) book.sent(row);
        for (int i = 1; i < c.sends_of_a; ++i) book.sent(r[0]);
        std::string decided;
        for (const auto& [from, text] : c.datagrams)
            decided += book.take(0, inet_addr(from), text.c_str()) ? '+' : '-';
        EXPECT_EQ(decided, c.decided);
        EXPECT_EQ(outcomes(r), c.outcomes);
    }
}

// The verifying scan against what the saves said.
TEST_F(CommissionTest, VerifyBookTable) {
    answer("192.0.2.10", mac_a, "10.0.0.5");
    answer("192.0.2.11", mac_b, "10.0.0.6");
    answer("192.0.2.12", "02:00:00:00:00:0c", "10.0.0.7");
    const std::string plan =
        std::string("mac,mtu\n") + mac_a + ",600\n" + mac_b + ",600\n02:00:00:00:00:0c,1500\n";
    const struct {
        const char* name;
        outcome a, b;                                              // what the saves said of a and b
        std::vector<std::pair<std::string, std::string>> answers;  // mac, more tokens
        std::string finished, outcomes;
    } cases[] = {
        {"verified_whatever_the_confirmation",
         outcome::unconfirmed,
         outcome::refused,
         {{mac_a, "ip=10.0.0.5;mtu=600"}, {mac_b, "ip=10.0.0.6;mtu=600"}},
         "-+",
         "verified (no confirmation)\nverified (refused by device)\nunchanged\n"},
        {"old_settings_differ",
         outcome::saved,
         outcome::saved,
         {{mac_a, "ip=10.0.0.5;mtu=1500"}, {"02-00-00-00-00-0A", "ip=10.0.0.5;mtu=600;dhcp=1"}},
         "--",
         "differs (dhcp is on)\ndiffers (no answer)\nunchanged\n"},
        {"later_answer_verifies",
         outcome::saved,
         outcome::unsent,
         {{mac_a, "ip=10.0.0.5;mtu=1500"}, {mac_a, "ip=10.0.0.5;mtu=600"}, {mac_a, "ip=10.0.0.5"}},
         "-++",
         "verified\nnot sent\nunchanged\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<row_result> r = rows(plan);
        r[0].result = c.a;
        r[1].result = c.b;
        verify_book book(r);
        std::string finished;
        for (const auto& [mac, more] : c.answers) {
            std::string text =
                "hw=" + mac + ";nm=255.255.255.0;gw=10.0.0.1;mtu=1500;dhcp=0;" + more;
            device_entry e;
            parse_reply(e, text.data());
            finished += book.take(e) ? '+' : '-';
        }
        EXPECT_EQ(finished, c.finished);
        EXPECT_EQ(outcomes(r), c.outcomes);
    }
}

// The undo file: what the devices to be changed answered with, as a plan.
TEST_F(CommissionTest, UndoPlanTable) {
    answer("192.0.2.10", mac_a, "10.0.0.5", "ns=10.0.0.53;mtu=9000");
    answer("192.0.2.11", mac_b, "10.0.0.6", "ns=none;mtu=1400;dhcp=1");
    answer("192.0.2.12", "02:00:00:00:00:0c", "10.0.0.7", "dhcp=10");
    answers.back().gw[0] = '\0';  // it reported no gateway
    answer("192.0.2.13", "02:00:00:00:00:0d", "10.0.0.6");
    const std::string head = "mac,ip,netmask,gateway,dhcp,mtu,nameserver,from,interface\n";
    const struct {
        const char* name;
        std::string plan, undo, warnings;
    } cases[] = {
        {"every_cell_filled", "mac,ip\n02:00:00:00:00:0b,10.0.0.16\n",
         head + "02:00:00:00:00:0b,10.0.0.6,255.255.255.0,10.0.0.1,1,1400,,192.0.2.11,zk0\n", ""},
        {"nameserver_none_for_none", "mac,ip,gateway\n02:00:00:00:00:0c,10.0.0.17,10.0.0.1\n",
         head + "02:00:00:00:00:0c,10.0.0.7,255.255.255.0,,1,1500,none,192.0.2.12,zk0\n",
         "Warning: the undo file can't give 02:00:00:00:00:0c back its gateway ''\n"},
        // An MTU no plan takes is kept by an empty cell, unless the plan changes it.
        {"unwritable_value_kept", "MAC,ip\n02-00-00-00-00-0A,10.0.0.15\n",
         head + "02-00-00-00-00-0A,10.0.0.5,255.255.255.0,10.0.0.1,0,,10.0.0.53,192.0.2.10,zk0\n",
         ""},
        {"unwritable_value_changed",
         "mac,mtu,nameserver\n" + std::string(mac_a) + ",600,\n" + mac_b + ",,1.1.1.1\n",
         head + std::string(mac_a) +
             ",10.0.0.5,255.255.255.0,10.0.0.1,0,,10.0.0.53,192.0.2.10,zk0\n" + mac_b +
             ",10.0.0.6,255.255.255.0,10.0.0.1,1,1400,,192.0.2.11,zk0\n",
         "Warning: the undo file can't give 02:00:00:00:00:0a back its mtu '9000'\n"
         "Warning: the undo file can't give 02:00:00:00:00:0b back its nameserver 'none'\n"},
        // A plan gives an address once: two devices that shared one can't
        // both be given it back.
        {"shared_ip_given_back_once",
         "mac,ip\n" + std::string(mac_b) + ",10.0.0.16\n02:00:00:00:00:0d,10.0.0.18\n",
         head + mac_b + ",10.0.0.6,255.255.255.0,10.0.0.1,1,1400,,192.0.2.11,zk0\n" +
             "02:00:00:00:00:0d,,255.255.255.0,10.0.0.1,0,1500,none,192.0.2.13,zk0\n",
         "Warning: the undo file can't give 02:00:00:00:00:0d back its ip '10.0.0.6'\n"},
        {"rows_not_sent_left_out",
         "mac,ip,mtu\n" + std::string(mac_a) + ",10.0.0.0,\n" + mac_b + ",10.0.0.6,1400\n", head,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> warnings;
        EXPECT_EQ(undo_plan(rows(c.plan), warnings), c.undo);
        std::string warned;
        for (const std::string& w : warnings) warned += w + "\n";
        EXPECT_EQ(warned, c.warnings);
    }
}

}  // namespace
