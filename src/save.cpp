#include "save.h"

#include <arpa/inet.h>

#include <cstring>

#include "exchange.h"

bool saved = false;

const char* config_problem(const device_entry& entry) {
    in_addr ip{}, nm{}, gw{};
    if (!inet_aton(entry.ip, &ip)) return "Failed: ip address invalid!\n";
    if (!inet_aton(entry.nm, &nm)) return "Failed: netmask invalid!\n";
    if (!inet_aton(entry.gw, &gw)) return "Failed: gateway address invalid!\n";
    if ((ip.s_addr & nm.s_addr) != (gw.s_addr & nm.s_addr))
        return "Failed: ip address and gateway are not part of the same network!\n";
    return nullptr;
}

bool verify_config(std::FILE* out) {
    const char* problem = config_problem(*d);
    if (problem) std::fputs(problem, out);
    return problem == nullptr;
}

int compose_set_message(const device_entry& entry, char (&msg)[set_message_size]) {
    const bool has_ns = !entry.ns.empty();
    const int len =
        std::snprintf(msg, sizeof msg, "set hw=%s;ip=%s;nm=%s;mtu=%d;gw=%s;dhcp=%d%s%s;", entry.hw,
                      entry.ip, entry.nm, entry.mtu, entry.gw, entry.dhcp, has_ns ? ";ns=" : "",
                      has_ns ? entry.ns.c_str() : "");
    if (len < 0 || len >= set_message_size) return -1;
    return len;
}

int save_config(in_addr_t source, in_addr_t destination, std::FILE* out) {
    char msg[set_message_size];
    if (compose_set_message(*d, msg) < 0) {
        std::fputs("Error preparing save message!\n", out);
        return -1;
    }
    // Nothing changes on the device unless the operator can read the outcome.
    if (std::fflush(out) != 0 || std::ferror(out)) return -1;
    receive_result received;
    switch (exchange(source, destination, msg, save_response, receive_timeout, &received)) {
    case exchange_status::listen_failed:
        // Nothing is sent to a device whose confirmation could not be heard.
        std::fputs("Error listening for replies on UDP port 65002!\n", out);
        return -1;
    case exchange_status::send_failed:
        std::fputs("Error sending save request!\n", out);
        return -1;
    case exchange_status::done:
        break;
    }
    if (received.error != 0) {
        std::fprintf(out, "Warning: receive failed (%s), the confirmation may be missing!\n",
                     std::strerror(received.error));
    }
    std::fputs(saved ? "Configuration saved!\n" : "Failed saving configuration\n", out);
    return 0;
}

bool save_response(in_addr_t addr, char* text) {
    if (addr != d->addr) return false;
    char prefix[sizeof "ok hw=" + sizeof d->hw];
    std::snprintf(prefix, sizeof prefix, "ok hw=%s", d->hw);
    saved = std::strncmp(text, prefix, std::strlen(prefix)) == 0;
    return true;
}
