// The server's routes: a request in, an answer out, or a job queued for the
// loop to run with the network, whose answer comes once it is done. Every
// request has passed the checks of access before it gets here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>

#include "access.h"
#include "plan.h"
#include "served.h"
#include "web.h"

// A body is at most this long, a plan at most this many rows.
constexpr std::size_t max_body = 1U << 20;
constexpr std::size_t max_plan_rows = 10000;

enum class job_kind { save, undo, dry_run, apply };

struct job {
    job_kind kind = job_kind::save;
    std::string mac;  // save and undo: the device, as mac_key writes it
    plan p;
    std::string peer;          // who asked, for the audit records
    std::uint64_t ticket = 0;  // the suspended request that waits for the answer
};

struct server_state {
    access_policy policy;
    device_table table;
    // By device (mac_key): a one-row plan giving back what it had before
    // the last change made through the server.
    std::map<std::string, std::string> undo;
    std::set<std::string> busy;  // devices in a job queued or running
    std::deque<job> queue;
};

struct routed {
    web_response now;     // unless later or stream
    bool later = false;   // a job was queued at the back of the queue
    bool stream = false;  // the event stream
};

// Routes one request.
routed route(server_state& s, const web_request& req);

// The setting that a refusal of the checks before a save names ("" when
// none): "ip" for "Failed: ip address invalid!", "gateway" for the
// same-network check, ...
std::string field_of(const std::string& refusal);
