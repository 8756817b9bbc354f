// What a simulated device is and how it answers: the text of its discovery
// reply, the tokens of a set message it receives and the settings it takes
// from one. Nothing here touches a socket.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// The largest payload one IPv4 UDP datagram can carry.
constexpr std::size_t max_datagram = 65507;
constexpr std::string_view discovery_request = "find zefo.*";
constexpr std::string_view set_prefix = "set ";

// What a device reports about itself; keys left unset are left out of its
// reply, so a device can e.g. report no gateway.
struct settings {
    std::optional<std::string> hw, ip, nm, gw, mtu, dhcp, ns;
};

struct device {
    std::string name;  // the address as given on the command line
    in_addr_t addr = 0;
    settings fields;
    bool has_fields = false;         // only such devices act on set messages
    std::optional<std::string> raw;  // replaces the discovery reply
    int delay_ms = 0;
    int count = 1;
    std::optional<in_addr_t> reply_to;  // discovery replies go here, not to the requester

    std::optional<std::string> set_reply;
    bool set_silent = false;
    int set_delay_ms = 0;
    bool set_crlf = false;
    std::optional<in_addr_t> set_decoy;
    std::optional<in_addr_t> set_flood;
    int flood_interval_ms = 200;
    int flood_for_ms = 10000;
};

// The discovery reply a device sends with its current settings.
std::string reply_text(const device& dev);

// size bytes of printable filler without ';' or '=', so it carries no
// key=value token.
std::string filler(std::size_t size);

// The key=value tokens of a set message, after its "set " prefix.
std::map<std::string, std::string> set_tokens(std::string_view message);

// The device adopts the settings it was sent, as a real one would, so that
// a later scan reports them; a message without ns clears the nameserver.
void apply_settings(device& dev, const std::map<std::string, std::string>& tokens);

// The text of a confirmation of a set message that named dev.
std::string confirmation_text(const device& dev);

// bytes with control bytes, backslashes and bytes from 0x7F up escaped
// (\r \n \t \\ \0 \xHH), for one log line.
std::string escaped(std::string_view bytes);

}  // namespace sim
