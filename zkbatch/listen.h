// Where the server listens: --listen [ADDR:]PORT.
#pragma once

#include <sys/socket.h>

#include <string>

constexpr const char* default_listen = "127.0.0.1:8650";

struct listen_address {
    sockaddr_storage addr{};
    std::string host;  // as the URL writes it: 127.0.0.1, [::1]
    std::string text;  // with the port: 127.0.0.1:8650
    bool loopback = true;
};

// Reads [ADDR:]PORT: ADDR a dotted quad, localhost (127.0.0.1) or an IPv6
// address in brackets, 127.0.0.1 when left out; PORT from 1 to 65535.
// false, with a message in error, for anything else.
bool parse_listen(const std::string& text, listen_address& out, std::string& error);
