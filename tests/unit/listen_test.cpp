#include "listen.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ListenTest, AddressTable) {
    const struct {
        const char* given;
        const char* text;  // as the URL writes it, or "" when refused
        bool loopback;
        const char* error;
    } cases[] = {
        {"8650", "127.0.0.1:8650", true, ""},
        {"localhost:8650", "127.0.0.1:8650", true, ""},
        {"127.0.0.2:1", "127.0.0.2:1", true, ""},
        {"[::1]:65535", "[::1]:65535", true, ""},
        {"192.0.2.1:8650", "192.0.2.1:8650", false, ""},
        {"[2001:db8::1]:80", "[2001:db8::1]:80", false, ""},
        {"0.0.0.0:8650", "0.0.0.0:8650", false, ""},
        {"0", "", false, "--listen: '0' is not a port from 1 to 65535"},
        {"65536", "", false, "--listen: '65536' is not a port from 1 to 65535"},
        {"localhost:", "", false, "--listen: '' is not a port from 1 to 65535"},
        {"localhost:+80", "", false, "--listen: '+80' is not a port from 1 to 65535"},
        {"[::1]", "", false, "--listen: '[::1]' is not a port from 1 to 65535"},
        {"::1:8650", "", false,
         "--listen: '::1' is not an IPv4 address, localhost or [an IPv6 address]"},
        {"example.org:8650", "", false,
         "--listen: 'example.org' is not an IPv4 address, localhost or [an IPv6 address]"},
        {"192.0.2:8650", "", false,
         "--listen: '192.0.2' is not an IPv4 address, localhost or [an IPv6 address]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        listen_address where;
        std::string error;
        EXPECT_EQ(parse_listen(c.given, where, error), std::string(c.error).empty());
        EXPECT_EQ(error, c.error);
        if (error.empty()) {
            EXPECT_EQ(where.text, c.text);
            EXPECT_EQ(where.loopback, c.loopback);
        }
    }
}

}  // namespace
