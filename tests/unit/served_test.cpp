#include "served.h"

#include <gtest/gtest.h>

#include <string>

#include "batch_fixture.h"

namespace {

class ServedTest : public ::testing::Test, protected batch_fixture {
protected:
    device_table table;

    // The table's states, one "MAC STATE changed..." per device in key order.
    std::string states() {
        std::string out;
        for (const auto& [key, d] : table.devices) {
            out += key + " " + state_name(d, table.watch);
            for (const std::string& name : d.changed) out += " " + name;
            out += d.seen.empty() ? "" : " @" + d.seen;
            out += "\n";
        }
        return out;
    }
};

// What each scan leaves in the table, step by step: new, changed with its
// settings, a conflict while two hold one address, vanished (and kept,
// with its last answer), and new again when it comes back.
TEST_F(ServedTest, StatesOfEachScan) {
    answer("192.0.2.10", "02:00:5e:00:53:0a", "10.0.0.5");
    answer("192.0.2.11", "02:00:5e:00:53:0b", "10.0.0.6");
    const std::vector<::answer> both = answers;
    table.take(both, "t1");
    EXPECT_EQ(states(), "02:00:5e:00:53:0a new @t1\n02:00:5e:00:53:0b new @t1\n");

    answers.clear();
    answer("192.0.2.10", "02:00:5e:00:53:0a", "10.0.0.5");
    answer("192.0.2.11", "02:00:5e:00:53:0b", "10.0.0.5", "mtu=1400;");
    table.take(answers, "t2");
    EXPECT_EQ(states(), "02:00:5e:00:53:0a conflict @t2\n02:00:5e:00:53:0b conflict ip mtu @t2\n");

    answers.resize(1);
    for (const char* t : {"t3", "t4"}) table.take(answers, t);
    EXPECT_EQ(states(), "02:00:5e:00:53:0a conflict @t4\n02:00:5e:00:53:0b conflict ip mtu @t2\n");
    table.take(answers, "t5");
    EXPECT_EQ(states(), "02:00:5e:00:53:0a new @t5\n02:00:5e:00:53:0b vanished @t2\n");
    EXPECT_EQ(table.known("02:00:5e:00:53:0b"), nullptr);
    ASSERT_NE(table.known("02:00:5e:00:53:0a"), nullptr);
    EXPECT_EQ(std::string(table.known("02:00:5e:00:53:0a")->ip), "10.0.0.5");
    // The CSV leaves the vanished one out; the JSON keeps it, with its state.
    EXPECT_EQ(table.csv().find("53:0b"), std::string::npos);
    EXPECT_NE(table.csv().find("53:0a"), std::string::npos);
    EXPECT_NE(table.json_text.find(
                  R"("mac":"02:00:5e:00:53:0b","ip":"10.0.0.5","netmask":"255.255.255.0",)"
                  R"("gateway":"10.0.0.1","dhcp":false,"mtu":1400,"nameserver":null,)"
                  R"("from":"192.0.2.11","interface":"zk0","state":"vanished",)"
                  R"("changed":[],"last_seen":"t2"})"),
              std::string::npos);

    table.take(both, "t6");
    EXPECT_EQ(states(), "02:00:5e:00:53:0a new @t6\n02:00:5e:00:53:0b new @t6\n");
}

}  // namespace
