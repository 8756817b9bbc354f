#include "links.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

scan_link link_on(const interface_info& i, in_addr_t source) {
    return {i.name, i.ifindex, source, i.subnets, i.mac};
}

// An interface name first, then an address: an interface may well be
// called "1".
bool resolve_one(const std::vector<interface_info>& all, bool listed, int list_error,
                 const std::string& text, scan_link& found, std::string& error) {
    const auto named = std::find_if(all.begin(), all.end(),
                                    [&](const interface_info& i) { return i.name == text; });
    if (named != all.end()) {
        if (named->subnets.empty()) {
            error = "--source: interface '" + text + "' has no IPv4 address";
            return false;
        }
        found = link_on(*named, named->subnets.front().addr);
        return true;
    }
    in_addr parsed{};
    if (!inet_aton(text.c_str(), &parsed)) {
        error = listed ? "--source: '" + text + "' is neither an IPv4 address nor an interface"
                       : "--source: '" + text +
                             "' is not an IPv4 address, and the interfaces can't be listed: " +
                             std::strerror(list_error);
        return false;
    }
    // An address that no interface holds (a broadcast address, say) is
    // left to the system, which may refuse to send from it.
    const interface_info* holder = holding(all, parsed.s_addr);
    found = holder ? link_on(*holder, parsed.s_addr) : scan_link{"", 0, parsed.s_addr, {}, {}};
    return true;
}

}  // namespace

bool resolve_links(const std::vector<std::string>& sources, bool all, std::vector<scan_link>& links,
                   std::string& error) {
    links.clear();
    std::vector<interface_info> interfaces;
    const bool listed = list_interfaces(interfaces);
    const int list_error = errno;
    if (all) {
        if (!listed) {
            error = std::string("--all-interfaces: the interfaces can't be listed: ") +
                    std::strerror(list_error);
            return false;
        }
        for (const interface_info& i : scannable(interfaces)) {
            const auto with_broadcast =
                std::find_if(i.subnets.begin(), i.subnets.end(),
                             [](const subnet& s) { return s.broadcast.has_value(); });
            links.push_back(link_on(i, with_broadcast->addr));
        }
        if (links.empty()) {
            error = "--all-interfaces: no interface is up with an IPv4 broadcast address";
            return false;
        }
        return true;
    }
    for (const std::string& text : sources) {
        scan_link found;
        if (!resolve_one(interfaces, listed, list_error, text, found, error)) return false;
        const bool again = std::any_of(links.begin(), links.end(), [&](const scan_link& l) {
            return l.source == found.source && l.ifindex == found.ifindex;
        });
        if (!again) links.push_back(std::move(found));
    }
    if (links.empty()) {
        // The system's choice, as zkdetect makes it; its interface, where
        // it can be told, for the inventory and the probes.
        const interface_info* chosen = holding(interfaces, broadcast_source());
        links.push_back(chosen ? link_on(*chosen, htonl(INADDR_ANY)) : scan_link{});
    }
    return true;
}

std::vector<std::string> unscanned_interfaces(const std::vector<scan_link>& links) {
    std::vector<interface_info> interfaces;
    list_interfaces(interfaces);
    std::vector<std::string> names;
    for (const interface_info& i : scannable(interfaces))
        if (std::none_of(links.begin(), links.end(),
                         [&](const scan_link& l) { return l.name == i.name; }))
            names.push_back(i.name);
    return names;
}

std::string unscanned_warning(const std::vector<scan_link>& links) {
    const std::vector<std::string> names = unscanned_interfaces(links);
    if (names.empty()) return {};
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
    const std::string scanned =
        links.front().name.empty() ? "the system's choice of interface" : links.front().name;
    return "Warning: only " + scanned + " was scanned, not " + list +
           " (--all-interfaces scans every interface, --source NAME one more)";
}
