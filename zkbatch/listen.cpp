#include "listen.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdlib>

bool parse_listen(const std::string& text, listen_address& out, std::string& error) {
    out = {};
    std::string host = "127.0.0.1";
    std::string port = text;
    const std::size_t colon = text.rfind(':');
    // A colon inside brackets belongs to an IPv6 address, not to the port.
    if (colon != std::string::npos && text.find(']', colon) == std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    const bool digits = !port.empty() && port.size() <= 5 &&
                        port.find_first_not_of("0123456789") == std::string::npos;
    const long number = digits ? std::strtol(port.c_str(), nullptr, 10) : 0;
    if (number < 1 || number > 65535) {
        error = "--listen: '" + port + "' is not a port from 1 to 65535";
        return false;
    }
    const auto n = htons(static_cast<in_port_t>(number));
    if (host == "localhost") host = "127.0.0.1";
    bool parsed = false;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        auto& sa = reinterpret_cast<sockaddr_in6&>(out.addr);
        sa.sin6_family = AF_INET6;
        sa.sin6_port = n;
        parsed = inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &sa.sin6_addr) == 1;
        out.loopback = parsed && IN6_IS_ADDR_LOOPBACK(&sa.sin6_addr);
    } else {
        auto& sa = reinterpret_cast<sockaddr_in&>(out.addr);
        sa.sin_family = AF_INET;
        sa.sin_port = n;
        parsed = inet_pton(AF_INET, host.c_str(), &sa.sin_addr) == 1;
        out.loopback = parsed && (ntohl(sa.sin_addr.s_addr) >> 24) == 127;
    }
    if (!parsed) {
        error = "--listen: '" + host + "' is not an IPv4 address, localhost or [an IPv6 address]";
        return false;
    }
    out.host = host;
    out.text = host + ":" + std::to_string(number);
    return true;
}
