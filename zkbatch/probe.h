// Whether some other host already holds an address that a plan gives a
// device: a PC, a PLC or a printer answers ARP whatever its firewall. Asked
// on the device's segment while the scan runs, before anything is sent.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "arp_socket.h"
#include "commission.h"
#include "links.h"
#include "plan.h"

// After its first probe, an address is given this long to be answered: a
// host on the segment answers ARP within milliseconds, and the kernel's own
// resolution asks again after a second.
constexpr std::chrono::milliseconds probe_wait{1000};
// ARP probes per address, probe_wait apart while the scan lasts.
constexpr int probe_count = 3;

// How target can be probed on l: by an ARP probe where the run has a
// packet socket on l (arp_error 0), by the kernel's resolution where target
// lies inside one of l's subnets, else not at all. arp_error: why there is
// no packet socket (EPERM: the run lacks CAP_NET_RAW).
probe_note decide_probe(const scan_link& l, int arp_error, in_addr_t target);

// The address that row gives the device that answered with a, where it
// holds another now and keeps it out of DHCP's hands; none otherwise.
std::optional<in_addr_t> new_address(const plan_row& row, const device_entry& a);

struct probe {
    probe_note how;
    int sent = 0;
    std::chrono::steady_clock::time_point first{}, last{};
    std::vector<std::string> holders;  // MACs that answered for it, as mac_key gives them
};

// The probes of one run, by link and address.
struct prober {
    std::vector<scan_link> links;
    std::vector<arp_link> arp;  // by link; without a socket where arp_errors says why
    std::vector<int> arp_errors;
    std::vector<in_addr_t> own;  // this host's addresses, which need no probe
    std::map<std::pair<std::size_t, in_addr_t>, probe> probes;
    // Which probe speaks for a device's new address, by its MAC (mac_key).
    std::map<std::string, std::pair<std::size_t, in_addr_t>> by_device;
    unsigned long arp_lost = 0;  // answers the packet sockets' full buffers dropped
    std::string arp_unread;      // why reading the answers failed, if it did

    // Probes target on link for the device whose MAC is mac, unless it is
    // probed there already or is one of this host's own.
    void start(std::size_t link, in_addr_t target, const std::string& mac);
    // Takes the ARP answers that came, and probes again where one is due.
    void wake();
    // Until when the scan should listen for the probes' answers.
    std::chrono::steady_clock::time_point until() const;
    // Takes the last answers, and reads what the kernel's resolution found.
    // The packet sockets stay open, for the caller to close or keep.
    void finish();
};

// A packet socket on every link that speaks ARP, by link, where the run may
// open one (wanted); errors says why a link has none.
struct arp_sockets {
    std::vector<arp_link> arp;
    std::vector<int> errors;
};

// Opens them; CAP_NET_RAW is held only while they are opened, and dropped
// in any case.
arp_sockets open_arp_sockets(const std::vector<scan_link>& links, bool wanted);

// A prober on links with sockets of its own, opened as open_arp_sockets
// does.
prober open_prober(const std::vector<scan_link>& links, bool wanted);

// A prober on links with sockets opened earlier and kept, as a server
// keeps them for hours without the capability: what queued on them
// meanwhile is read and dropped, and so is the count of what their full
// buffers lost. Its arp and arp_errors give them back.
prober prober_with(const std::vector<scan_link>& links, arp_sockets sockets);

// Gives each planned row its probe's note, and returns the conflicts: an
// address that a host answered for, unless that host is the row's own
// device, or a device that answered on that segment holding the address
// now (the plan moves it away, or the conflict check refuses the plan).
// Warnings name the addresses that were not probed, and why.
std::vector<plan_error> probe_findings(std::vector<row_result>& rows,
                                       const std::vector<answer>& answers, const prober& p,
                                       std::vector<std::string>& warnings);
