// zkbatch: lists the zefo*kit devices on the local segments, watches them,
// and commissions many at once from a plan that names each device by its
// MAC address.
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "checks.h"
#include "files.h"
#include "inventory.h"
#include "options.h"
#include "plan.h"
#include "privilege.h"
#include "rounds.h"
#include "runs.h"
#include "signals.h"

namespace {

// The plan, read and checked as a whole; false (after the messages) when it
// can't be used.
bool load_plan(const std::string& path, plan& p) {
    const std::string name = path == "-" ? "<stdin>" : path;
    std::string text;
    std::string error;
    if (!read_input(path, text, error)) {
        std::fprintf(stderr, "zkbatch: cannot read '%s': %s\n", name.c_str(), error.c_str());
        return false;
    }
    p = read_plan(text);
    for (const plan_error& e : p.errors) {
        if (e.line > 0)
            std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), e.line, e.message.c_str());
        else
            std::fprintf(stderr, "%s: %s\n", name.c_str(), e.message.c_str());
    }
    return p.errors.empty();
}

}  // namespace

bool scanned(exchange_status status) {
    switch (status) {
    case exchange_status::listen_failed:
        std::fputs("Error listening for replies on UDP port 65002!\n", stderr);
        return false;
    case exchange_status::send_failed:
        std::fputs("Error sending request!\n", stderr);
        return false;
    case exchange_status::done:
        break;
    }
    return true;
}

int put_out(const std::string& text, int status, const std::string& after_saves) {
    std::string error;
    if (write_all(STDOUT_FILENO, text, error)) return status;
    std::fprintf(stderr, "zkbatch: write error: %s\n", error.c_str());
    if (!after_saves.empty()) std::fprintf(stderr, "%s\n", after_saves.c_str());
    return usage_status;
}

void warn(const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        if (!w.empty()) std::fprintf(stderr, "%s\n", w.c_str());
}

std::string unscanned_note(const options& opts) {
    const bool system_choice = opts.links.size() == 1 && opts.links[0].source == htonl(INADDR_ANY);
    return system_choice ? unscanned_warning(opts.links) : std::string();
}

int run_list(const options& opts) {
    // Nothing here needs the capability that a plan's probes do.
    drop_net_raw();
    progress status_line = terminal_progress();
    const network net{opts.links, opts.retries, &status_line};
    std::vector<answer> answers;
    if (!scanned(scan(net, {}, answers))) return usage_status;
    if (const int sig = stop_signal()) end_by_signal(sig);
    warn({unscanned_note(opts)});
    warn(find_conflicts({}, answers, {}).warnings);
    std::ostringstream out;
    if (opts.json) {
        write_json(out, answers);
    } else {
        write_csv(out, answers);
    }
    return put_out(out.str(), 0);
}

int main(int argc, char** argv) {
    const options opts = parse_options(argc, argv);
    // A stop signal lets the run write down what it did before it ends.
    catch_stop_signals();
    if (opts.list) return run_list(opts);
    if (opts.watch) return run_watch(opts);
    plan p;
    // The whole plan is read and checked before anything is sent.
    if (!load_plan(*opts.plan_path, p)) return usage_status;
    return run_plan(opts, p);
}
