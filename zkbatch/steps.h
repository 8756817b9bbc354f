// The steps of a plan run that the command line and the server share: the
// scan with its probes, the checks that refuse a plan, the size of the
// change, and what a stop signal leaves of the rows.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <string>
#include <vector>

#include "checks.h"
#include "commission.h"
#include "plan.h"
#include "probe.h"
#include "rounds.h"

// Whether any row gives an address, which the scan then probes for.
bool probing(const plan& p);

// The scan of a plan, which probes every address the plan gives while it
// runs (on probes' links, with its sockets), and then takes the last
// answers to the probes.
exchange_status scan_for(const plan& p, const network& net, prober& probes,
                         std::vector<answer>& answers);

// Conflicts that devices or other hosts make, in line order: then nothing
// may be sent. Warnings: addresses several devices hold, then addresses
// not probed. Gives each planned row its probe's note.
conflict_findings refusals(std::vector<row_result>& rows, const std::vector<answer>& answers,
                           const prober& probes, const std::vector<in_addr_t>& host);

// The size of a change: devices to be sent a set message, and how many of
// them get a new address.
struct change_size {
    std::size_t devices = 0, moved = 0;
};
change_size size_of(const std::vector<row_result>& rows);

// Where a stop signal leaves the rows: a set message sent but not answered
// (or not verified) is interrupted, one never sent is not sent.
void interrupted(std::vector<row_result>& rows);
