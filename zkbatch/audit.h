// The audit trail of a plan run: one record in the system log for every row
// that was sent a set message, so that a log search finds who changed which
// device, from what to what, and with what outcome.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "commission.h"

// Who ran zkbatch: the login name of the real uid ("" when it has none).
struct audit_user {
    std::string name;
    uid_t uid = 0;
};

// The record of row r, once its outcome is known: one line of key=value
// pairs, mac (as a log search writes it: small letters and colons),
// interface, old_ and new_ of ip, netmask, gateway, dhcp, mtu and
// nameserver, user, uid and outcome. A value other than letters, digits
// and ".:_-" (texts from devices, an empty one) is quoted, with '"' and
// '\' escaped by '\' and every other byte outside printable ASCII as \xHH.
std::string audit_record(const row_result& r, const audit_user& user);

// The user of the real uid.
audit_user real_user();

// Writes the record of every row that was sent a set message to the system
// log: syslog(3), facility LOG_USER, identifier zkbatch; priority notice
// for a row saved or verified, warning for any other outcome.
void audit_run(const std::vector<row_result>& rows);
