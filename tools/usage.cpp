#include "command_line.h"

namespace sim {

void print_usage(std::FILE* out) {
    std::fputs(
        "Usage: zkdevice [GLOBAL OPTIONS] [--device ADDR [DEVICE OPTIONS]]...\n"
        "Simulates zefo*kit devices: answers \"find zefo.*\" and set messages\n"
        "received on UDP port 65001, replying to the sender's port 65002.\n"
        "\n"
        "Global options:\n"
        "  --log FILE          log every datagram received on port 65001 as\n"
        "                      '<sender> <escaped text>' (default: stdout)\n"
        "  --ready-file FILE   create FILE (holding the pid) once all sockets are bound\n"
        "  --burst N           answer a discovery request with N replies in total,\n"
        "                      round-robin over the devices, as fast as possible\n"
        "  --burst-at MS       start the burst when the clock next reads millisecond\n"
        "                      MS (0-999) of a second, e.g. 998 to straddle a second\n"
        "  --hold PORT         also bind 0.0.0.0:PORT and keep it (repeatable)\n"
        "  --fleet N           N more devices after the --device ones, the k-th\n"
        "                      answering from 198.18.0.0 + k with MAC 02:c6:12 and k,\n"
        "                      ip its address, nm 255.254.0.0, gw 198.19.255.254,\n"
        "                      mtu 1500, dhcp 0\n"
        "  --state FILE        at the end, write each device's address and reply\n"
        "                      (escaped as in the log), one line each\n"
        "  -v, --verbose       report every datagram sent on stderr\n"
        "  -h, --help          show this text\n"
        "\n"
        "--device ADDR starts a new device answering from local address ADDR;\n"
        "the options after it apply to that device:\n"
        "  --hw, --ip, --nm, --gw, --mtu, --dhcp, --ns TEXT\n"
        "                      the settings it reports as hw=..;ip=..;nm=..;gw=..;\n"
        "                      mtu=..;dhcp=..[;ns=..]; unset keys are left out\n"
        "  --raw TEXT          reply with TEXT instead (its fields still name the\n"
        "                      device in set messages)\n"
        "  --raw-file PATH     reply with the bytes of PATH\n"
        "  --raw-size N        reply with N bytes of printable filler\n"
        "  --delay MS          wait MS milliseconds before answering (default 0)\n"
        "  --count N           answers per request (default 1)\n"
        "  --reply-to ADDR     send the answers to ADDR, port 65002, instead of to the\n"
        "                      requester (e.g. a broadcast address)\n"
        "  --set-reply TEXT    confirmation of a set message (default 'ok hw=<hw>')\n"
        "  --set-silent        do not confirm set messages\n"
        "  --set-delay MS      wait MS milliseconds before confirming\n"
        "  --set-crlf          append CR LF to the confirmation\n"
        "  --set-decoy ADDR    ADDR sends the confirmation text first\n"
        "  --set-flood ADDR    ADDR sends \"noise\" after a set message, every\n"
        "                      --flood-interval MS (200) for --flood-for MS (10000)\n"
        "A device with neither settings nor a raw reply answers with an empty\n"
        "datagram. TEXT values take the escapes \\r \\n \\t \\\\ \\0 \\xHH.\n",
        out);
}

}  // namespace sim
