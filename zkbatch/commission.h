// Commissioning: the scan, matching plan rows with the devices that
// answered, the saves as one burst, and the verifying scan.
#pragma once

#include <netinet/in.h>

#include <string>
#include <vector>

#include "devices.h"
#include "exchange.h"
#include "plan.h"

enum class outcome {
    planned,      // checked, to be saved
    saved,        // the device confirmed
    refused,      // the device's first answer was no confirmation
    unconfirmed,  // no answer from the device's address
    unsent,       // its set message could not be sent
    not_found,    // no device answered with this MAC
    ambiguous,    // answers with this MAC came from different addresses
    invalid,      // the resulting settings fail the save's checks
    verified,     // saved, and the next scan shows the planned settings
    differs,      // saved, but the next scan shows something else
};

struct row_result {
    const plan_row* row = nullptr;
    outcome result = outcome::planned;
    const device_entry* found = nullptr;  // the answer that named the MAC
    device_entry planned;                 // its settings with the row's applied
    std::string message;                  // the set message of a planned row
    std::string detail;                   // why invalid, ambiguous or differing
};

// One scan as zkdetect makes it: the answers in order of arrival. Warns on
// standard error when the kernel dropped replies.
exchange_status scan(in_addr_t source, std::vector<device_entry>& answers);

// Matches every row with the answers; rows that can be saved become planned
// and get their set message.
std::vector<row_result> match(const plan& p, const std::vector<device_entry>& answers);

// Sends every planned row's set message in one burst, then collects the
// confirmations in one receive: planned rows become saved, refused,
// unconfirmed or unsent. A failure prints zkdetect's message on standard
// error.
void save_all(in_addr_t source, std::vector<row_result>& rows);

// Saved rows become verified when an answer with their MAC carries the
// planned settings, from whatever address; differs otherwise.
void verify_all(std::vector<row_result>& rows, const std::vector<device_entry>& answers);
