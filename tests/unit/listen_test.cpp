#include "listen.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

namespace {

// One case: what --listen is given, and what comes of it.
struct listen_case {
    std::string given;
    std::string text;  // as the URL writes it, when taken
    bool loopback;
    std::string error;
};

TEST(ListenTest, AddressTable) {
    const listen_case cases[] = {
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
        const std::string& given = c.given;
        const std::string& refusal = c.error;
        SCOPED_TRACE(given);
        listen_address where;
        std::string error;
        const bool taken = parse_listen(given, where, error);
        EXPECT_EQ(taken, refusal.empty());
        EXPECT_EQ(error, refusal);
        if (taken) {
            EXPECT_EQ(where.text, c.text);
            EXPECT_EQ(where.loopback, c.loopback);
            // The socket's address holds the port, in either family.
            const auto& v4 = reinterpret_cast<const sockaddr_in&>(where.addr);
            const auto& v6 = reinterpret_cast<const sockaddr_in6&>(where.addr);
            const in_port_t port = where.addr.ss_family == AF_INET ? v4.sin_port : v6.sin6_port;
            EXPECT_EQ(std::to_string(ntohs(port)), c.text.substr(c.text.rfind(':') + 1));
        }
    }
}

}  // namespace
