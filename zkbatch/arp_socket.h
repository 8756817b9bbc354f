// A packet socket that sends ARP probes out of one interface and reads the
// ARP messages arriving there. Opening it needs CAP_NET_RAW; using it once
// open does not, so the capability can be dropped right after.
#pragma once

#include <functional>

#include "arp.h"
#include "exchange.h"

struct arp_link {
    socket_fd sock;
    int ifindex = 0;
    mac_address mac{};  // the interface's own, the probes' sender
};

// Opens a non-blocking, close-on-exec socket for ARP on the Ethernet
// interface ifindex and learns its MAC. Returns 0, or the errno: EPERM
// without CAP_NET_RAW, ENODEV for no such interface, EOPNOTSUPP for one
// that is not Ethernet (loopback, a tunnel). Where the system allows, the
// receive buffer queues answers to some 10,000 probes unread.
int open_arp(int ifindex, arp_link& out);

// Broadcasts arp_probe for target. false, errno set, when it can't be
// sent; EAGAIN or ENOBUFS when the send queue is full for now.
bool send_probe(const arp_link& link, in_addr_t target);

// Hands every ARP message queued on link to take, without waiting, and
// returns true once none is left. Frames this host sent itself and frames
// that are no Ethernet/IPv4 ARP request or reply are skipped. false, errno
// set, when a read failed.
bool read_arp(const arp_link& link, const std::function<void(const arp_message&)>& take);

// Frames the system dropped because link's receive buffer was full since
// the last call (or the opening); false, errno set, when it can't tell.
bool arp_dropped(const arp_link& link, unsigned& dropped);
