// Answers and plans for the tests of zkbatch's commissioning, written as
// the texts the devices and the operator give.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "commission.h"
#include "plan.h"

struct batch_fixture {
    std::deque<plan> plans;  // rows point into them
    std::vector<::answer> answers;

    // An answer from addr on zk0: hw and ip as given, netmask /24, gateway
    // 10.0.0.1, MTU 1500, DHCP off, then the tokens in more.
    void answer(const char* addr, const char* hw, const char* ip, const std::string& more = "") {
        std::string text = std::string("hw=") + hw + ";ip=" + ip +
                           ";nm=255.255.255.0;gw=10.0.0.1;mtu=1500;dhcp=0;" + more;
        ::answer& e = answers.emplace_back();
        e.addr = inet_addr(addr);
        e.interface = "zk0";
        parse_reply(e, text.data());
    }

    // The rows of a plan text, matched with the answers.
    std::vector<row_result> rows(const std::string& plan_text) {
        const plan& p = plans.emplace_back(read_plan(plan_text));
        return match(p, answers);
    }

    // Runs check(reversed) on the answers as given, then on them reversed:
    // every two answers then arrive the other way round, so a check between
    // two devices sees both orders. Rows from one run don't carry over.
    template <typename Check>
    void in_both_orders(Check check) {
        for (const bool reversed : {false, true}) {
            SCOPED_TRACE(reversed ? "answers reversed" : "answers as given");
            check(reversed);
            std::reverse(answers.begin(), answers.end());
        }
    }
};
