// The audit trail of a plan run: one record in the system log for every row
// that was sent a set message, so that a log search finds who changed which
// device, from what to what, and with what outcome.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "commission.h"

// A value of a key=value record as a log search can match it: as it is
// when it holds only letters, digits and ".:_-"; else (a text from a
// device, an empty one) quoted, with '"' and '\' escaped by '\' and every
// other byte outside printable ASCII as \xHH, so that no device text can
// add a field, a line or a terminal control.
std::string log_value(std::string_view text);

// Who ran zkbatch: the login name of the real uid ("" when it has none);
// and for a change asked for through the server, the address of the
// client that asked.
struct audit_user {
    std::string name;
    uid_t uid = 0;
    std::string peer;
};

// The record of row r, once its outcome is known: one line of key=value
// pairs, mac (as a log search writes it: small letters and colons),
// interface, old_ and new_ of ip, netmask, gateway, dhcp, mtu and
// nameserver, user, uid, via=http and peer for a change through the
// server, and outcome, each value as log_value writes it.
std::string audit_record(const row_result& r, const audit_user& user);

// The user of the real uid.
audit_user real_user();

// Writes the record of every row that was sent a set message to the system
// log: syslog(3), facility LOG_USER, identifier zkbatch; priority notice
// for a row saved or verified, warning for any other outcome. peer: the
// server's client that asked for the change, if any.
void audit_run(const std::vector<row_result>& rows, const std::string& peer = {});
