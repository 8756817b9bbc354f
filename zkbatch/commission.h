// Commissioning without the network: matching plan rows with the devices
// that answered, what each row needs, and the bookkeeping of the
// confirmations and of the verifying scan.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "devices.h"
#include "plan.h"

// One device as it answered a scan, and where: the link (one of the run's
// interfaces) it answered on first, its interface's name, and its segment.
// Links that one device answered on alike lead onto one segment.
struct answer : device_entry {
    std::size_t link = 0;
    std::size_t segment = 0;
    std::string interface;
};

enum class outcome {
    planned,      // checked, to be saved
    unchanged,    // the device holds every setting its row names already
    saved,        // the device confirmed
    refused,      // the device's first answer was no confirmation
    unconfirmed,  // no answer from the device's address
    unsent,       // its set message could not be sent
    not_found,    // no device answered with this MAC
    ambiguous,    // answers with this MAC came from different addresses
    invalid,      // the resulting settings fail the checks before a save
    verified,     // the verifying scan shows the planned settings
    differs,      // it shows something else, or nothing
    interrupted,  // sent, but a stop signal ended the run before its answer
};

// What the probe of a row's new address for other hosts did: none (the
// row gives no new address), an ARP probe, the kernel's own resolution, or
// nothing, and why.
struct probe_note {
    enum way_t { none, arp, kernel, skipped } way = none;
    std::string why_not;
};

struct row_result {
    const plan_row* row = nullptr;
    outcome result = outcome::planned;
    const answer* found = nullptr;            // the answer that named the MAC
    device_entry planned;                     // its settings with the row's applied
    std::string message;                      // the set message of a planned row
    std::string detail;                       // why invalid, ambiguous or differing
    int tries = 0;                            // set messages sent
    int answered = 0;                         // of those, answered from its address
    outcome confirmation = outcome::planned;  // what the save said, once verified
    probe_note probe;                         // of its new address, if any
};

// Matches every row with the answers (one per device and address). Rows
// that need a set message become planned and get it; the others get the
// reason they need none or can't have one.
std::vector<row_result> match(const plan& p, const std::vector<answer>& answers);

// The first setting in which got differs from want, or "".
std::string difference(const device_entry& got, const device_entry& want);

// Who the datagrams arriving during the saves answer. As in zkdetect, the
// first datagram from a device's scan address decides, on the link its set
// message went out on. Where several
// devices answered from one address, a confirmation naming one decides that
// one; anything else counts for the earliest set message at the address
// still without an answer. An answer to a set message sent again, or to a
// row already decided, decides nothing.
struct save_book {
    // By link and address, in plan order.
    std::map<std::pair<std::size_t, in_addr_t>, std::vector<row_result*>> at;
    std::size_t undecided = 0;

    // Records a set message sent for r (again).
    void sent(row_result& r);
    // Takes one datagram that came in on link; true once no row waits any
    // more.
    bool take(std::size_t link, in_addr_t from, const char* text);
};

// The rows a verifying scan looks for: every row that was sent a set
// message becomes verified once an answer with its MAC, from whatever
// address, shows every planned setting, whatever the confirmation said.
// Until then it differs, by what the last answer showed.
struct verify_book {
    std::unordered_map<std::string, row_result*> by_mac;
    std::size_t pending = 0;

    explicit verify_book(std::vector<row_result>& rows);
    // Takes one answer; true once every row is verified.
    bool take(const device_entry& answer);
};
