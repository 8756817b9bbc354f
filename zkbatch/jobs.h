// The server's jobs that need the network: a save of one device (a
// one-row plan), an undo, and a plan's dry run or apply. Each does what a
// plan run does, with the same steps: the scan with its probes, the
// checks, the undo record, the set messages, the verifying scan and the
// audit records; and answers with what the report says.
#pragma once

#include <string>

#include "probe.h"
#include "rounds.h"
#include "routes.h"
#include "web.h"

struct job_context {
    network net;            // with the server's side wait and progress
    arp_sockets* arp;       // opened at the start, kept, lent to each job
    std::string undo_path;  // --undo FILE: every undo record, or ""
};

struct job_result {
    web_response answer;
    std::string report;        // the report as text, for standard output; "" when nothing was sent
    bool interrupted = false;  // a stop signal came while it ran
};

// Runs j. Nothing is sent after a stop signal.
job_result run_job(server_state& s, const job& j, const job_context& ctx);
