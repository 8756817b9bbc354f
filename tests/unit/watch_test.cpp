#include "watch.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class WatchTest : public ::testing::Test {
protected:
    watch_state state;

    // Device ID's answer (MAC 02:00:5e:00:53:ID, none for ""): ip, netmask
    // /24, gateway 192.0.2.1, MTU 1500, DHCP off, then the tokens in more;
    // from its ip unless from is given, on segment A (zka) or B (zkb).
    static answer dev(const char* id, const char* ip, const std::string& more = "",
                      const char* from = nullptr, char segment = 'A') {
        std::string text = std::string(*id ? "hw=02:00:5e:00:53:" : "hw=") + id + ";ip=" + ip +
                           ";nm=255.255.255.0;gw=192.0.2.1;mtu=1500;dhcp=0;" + more;
        answer a;
        a.addr = inet_addr(from ? from : ip);
        a.segment = segment == 'A' ? 0 : 1;
        a.interface = segment == 'A' ? "zka" : "zkb";
        parse_reply(a, text.data());
        return a;
    }

    // The events of one scan, "; " between them: the kind, then the
    // device's ID (its address without a MAC) and what changed, or the
    // address, interface and holders' IDs of a conflict.
    std::string step(const std::vector<answer>& answers) {
        std::string out;
        for (const watch_event& e : watch_step(state, answers)) {
            static const char* const kinds[] = {"appeared", "changed", "vanished", "conflict",
                                                "resolved"};
            out += (out.empty() ? "" : "; ") + std::string(kinds[static_cast<int>(e.kind)]);
            if (e.kind == watch_kind::conflict || e.kind == watch_kind::resolved) {
                const in_addr_t addr = htonl(e.address);
                out += std::string(" ") + inet_ntoa(in_addr{addr}) + " on " + e.holders.interface;
                for (const std::string& mac : e.holders.macs) out += " " + mac.substr(15);
                continue;
            }
            out += " " + (e.device.hw[0] ? std::string(e.device.hw + 15)
                                         : std::string(inet_ntoa(in_addr{e.device.addr})));
            for (std::size_t i = 0; i < e.changed.size(); ++i)
                out += (i ? "," : " ") + e.changed[i];
        }
        return out;
    }
};

TEST_F(WatchTest, EventsOfEachScan) {
    const char* const a10 = "192.0.2.10";
    const char* const a11 = "192.0.2.11";
    const struct {
        const char* name;
        std::vector<std::vector<answer>> scans;
        std::vector<std::string> events;  // one entry per scan
    } cases[] = {
        {"appear in key order, whatever the order of arrival",
         {{dev("0b", a11), dev("0a", a10)}},
         {"appeared 0a; appeared 0b"}},
        {"unchanged", {{dev("0a", a10)}, {dev("0a", a10)}}, {"appeared 0a", ""}},
        {"several settings changed",
         {{dev("0a", a10)}, {dev("0a", a10, "gw=192.0.2.254;mtu=1400;ns=192.0.2.53")}},
         {"appeared 0a", "changed 0a gateway,mtu,nameserver"}},
        {"missing once and twice, vanished on the third",
         {{dev("0a", a10), dev("0b", a11)}, {dev("0b", a11)}, {dev("0b", a11)}, {dev("0b", a11)}},
         {"appeared 0a; appeared 0b", "", "", "vanished 0a"}},
        {"an answer between misses starts the count again",
         {{dev("0a", a10)}, {}, {}, {dev("0a", a10)}, {}, {}},
         {"appeared 0a", "", "", "", "", ""}},
        {"reappears after vanishing",
         {{dev("0a", a10)}, {}, {}, {}, {dev("0a", a10)}},
         {"appeared 0a", "", "", "vanished 0a", "appeared 0a"}},
        {"answers from a new address: the same device",
         {{dev("0a", a10)}, {dev("0a", "10.9.0.5", "", "192.0.2.99")}},
         {"appeared 0a", "changed 0a ip,from"}},
        {"moved to another segment",
         {{dev("0a", a10)}, {dev("0a", a10, "", nullptr, 'B')}},
         {"appeared 0a", "changed 0a interface"}},
        {"without a MAC, told apart by address",
         {{dev("", a10), dev("", a11)}, {dev("", a10, "mtu=1400")}},
         {"appeared 192.0.2.10; appeared 192.0.2.11", "changed 192.0.2.10 mtu"}},
        {"one MAC from two addresses: the known one counts, whatever the order",
         {{dev("0a", a10), dev("0a", a11)}, {dev("0a", a11, "mtu=1400"), dev("0a", a10)}},
         {"appeared 0a", ""}},
        {"conflict begins when a device takes another's address",
         {{dev("0a", a10), dev("0b", a11)}, {dev("0a", a10), dev("0b", a10, "", a11)}},
         {"appeared 0a; appeared 0b", "changed 0b ip; conflict 192.0.2.10 on zka 0a 0b"}},
        {"conflict ends when one moves away",
         {{dev("0a", a10), dev("0b", a10, "", a11)}, {dev("0a", a10), dev("0b", a11)}},
         {"appeared 0a; appeared 0b; conflict 192.0.2.10 on zka 0a 0b",
          "changed 0b ip; resolved 192.0.2.10 on zka 0a 0b"}},
        {"conflict lasts while a holder is missing, ends when it vanishes",
         {{dev("0a", a10), dev("0b", a10, "", a11)},
          {dev("0a", a10)},
          {dev("0a", a10)},
          {dev("0a", a10)}},
         {"appeared 0a; appeared 0b; conflict 192.0.2.10 on zka 0a 0b", "", "",
          "vanished 0b; resolved 192.0.2.10 on zka 0a 0b"}},
        {"conflict ends when one switches DHCP on",
         {{dev("0a", a10), dev("0b", a10, "", a11)},
          {dev("0a", a10), dev("0b", a10, "dhcp=1", a11)}},
         {"appeared 0a; appeared 0b; conflict 192.0.2.10 on zka 0a 0b",
          "changed 0b dhcp; resolved 192.0.2.10 on zka 0a 0b"}},
        {"a third holder is a conflict again; DHCP-on devices hold nothing",
         {{dev("0a", a10), dev("0b", a10, "", a11), dev("0d", a10, "dhcp=1", "192.0.2.13")},
          {dev("0a", a10), dev("0b", a10, "", a11), dev("0c", a10, "", "192.0.2.12")}},
         {"appeared 0a; appeared 0b; appeared 0d; conflict 192.0.2.10 on zka 0a 0b",
          "appeared 0c; conflict 192.0.2.10 on zka 0a 0b 0c"}},
        {"a device without an address hides no conflict after it",
         {{dev("01", a10, "dhcp=1", "192.0.2.9"), dev("0a", a10), dev("0b", a10, "", a11)}},
         {"appeared 01; appeared 0a; appeared 0b; conflict 192.0.2.10 on zka 0a 0b"}},
        {"one address on two segments is no conflict; two conflicts apart",
         {{dev("0a", a10), dev("0b", a10, "", nullptr, 'B')},
          {dev("0a", a10), dev("0b", a10, "", nullptr, 'B'), dev("0c", a10, "", a11),
           dev("0d", a10, "", a11, 'B')}},
         {"appeared 0a; appeared 0b",
          "appeared 0c; appeared 0d; conflict 192.0.2.10 on zka 0a 0c; "
          "conflict 192.0.2.10 on zkb 0b 0d"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        state = {};
        ASSERT_EQ(c.scans.size(), c.events.size());
        for (std::size_t i = 0; i < c.scans.size(); ++i)
            EXPECT_EQ(step(c.scans[i]), c.events[i]) << "scan " << i + 1;
    }
}

// What the watch holds is one entry per device there and per conflict
// now, however many scans and events came before.
TEST_F(WatchTest, StateHoldsOnlyWhatIsThere) {
    for (int i = 0; i < 100; ++i) {
        const std::string mtu = "mtu=" + std::to_string(1000 + i);
        std::vector<answer> scan = {dev("0a", "192.0.2.10", mtu),
                                    dev("0b", "192.0.2.10", "", "192.0.2.11")};
        // A device of its own every ten scans, which then vanishes.
        if (i % 10 == 0) scan.push_back(dev("", ("10.0.0." + std::to_string(i)).c_str()));
        watch_step(state, scan);
    }
    EXPECT_EQ(state.devices.size(), 2U);
    EXPECT_EQ(state.conflicts.size(), 1U);
    watch_step(state, {});
    watch_step(state, {});
    watch_step(state, {});
    EXPECT_TRUE(state.devices.empty());
    EXPECT_TRUE(state.conflicts.empty());
}

}  // namespace
