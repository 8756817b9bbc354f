#include "fleet.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "command_line.h"

namespace sim {

std::vector<device> make_fleet(long count) {
    std::vector<device> fleet(static_cast<std::size_t>(count));
    const uint32_t base = 198U << 24 | 18U << 16;
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        const auto k = static_cast<uint32_t>(i + 1);
        device& dev = fleet[i];
        dev.addr = htonl(base + k);
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &dev.addr, text, sizeof text);
        dev.name = text;
        char hw[18];
        std::snprintf(hw, sizeof hw, "02:c6:12:%02x:%02x:%02x", k >> 16 & 0xff, k >> 8 & 0xff,
                      k & 0xff);
        dev.fields = {hw, dev.name, "255.254.0.0", "198.19.255.254", "1500", "0", {}};
        dev.has_fields = true;
    }
    return fleet;
}

void write_state(const std::string& path, const std::vector<device>& devices) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out) die("cannot write '" + path + "': " + std::strerror(errno));
    for (const device& dev : devices)
        std::fprintf(out, "%s %s\n", dev.name.c_str(), escaped(reply_text(dev)).c_str());
    if (std::fclose(out) != 0) die("cannot write '" + path + "': " + std::strerror(errno));
}

}  // namespace sim
