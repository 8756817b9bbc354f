// zkbatch on the network: scans and saves that send a datagram again when
// its answer is missing, instead of giving up on one lost datagram.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "commission.h"
#include "exchange.h"
#include "links.h"
#include "progress.h"

// A request or set message without its answer is sent again once this long
// has passed since it was sent and since the last answer that brought
// something new, so that a slow but working network gets no copies.
constexpr std::chrono::milliseconds retry_interval{250};
constexpr int default_retries = 6;
constexpr int max_retries = 10;  // all of them within the 3-second receive

struct network {
    std::vector<scan_link> links{scan_link{}};  // where requests go out; answers come in
    int retries = default_retries;              // how many times a datagram is sent again
    progress* status_line = nullptr;            // shows each phase on a terminal
    const side_wait* side = nullptr;            // served during every wait, if given
};

// What a scan does beside collecting answers: a new device (a MAC from an
// address not heard before) is shown to answered; woke runs whenever the
// receive wakes (at least each retry_interval); and the scan lasts until
// at least what until says, at most receive_timeout more.
struct scan_hooks {
    std::function<void(const answer& fresh)> answered;
    std::function<void()> woke;
    std::function<std::chrono::steady_clock::time_point()> until;
};

// One scan of 3 seconds on every link: the answers in order of arrival, a
// device that answers several requests from one address once, also when it
// answers on several links (which are then one segment; it is tied to the
// first of them). The request is
// sent again (see retry_interval) until every MAC in wanted has answered,
// or the retries run out; without any MAC to wait for, the requests are
// spread over the scan. Warns on standard error when the system dropped
// answers.
exchange_status scan(const network& net, const std::set<std::string>& wanted,
                     std::vector<answer>& answers, const scan_hooks& hooks = {});

// Sends every planned row's set message in one burst, each only on the link
// its device answered on, and collects the confirmations in receives of at
// most 3 seconds in all; a row without an answer is sent its message again
// (see retry_interval). Planned rows become saved, refused, unconfirmed or
// unsent. A failure prints zkdetect's message on standard error.
void save_all(const network& net, std::vector<row_result>& rows);

// Scans again for the rows that were sent a set message: each becomes
// verified or differs. The scan ends once every one is verified, and asks
// again (see retry_interval) while one is not.
exchange_status verify_all(const network& net, std::vector<row_result>& rows);
