// The inventory: one scan, every answer as CSV or JSON.
#include <sstream>
#include <vector>

#include "checks.h"
#include "common.h"
#include "inventory.h"
#include "privilege.h"
#include "rounds.h"
#include "runs.h"
#include "signals.h"

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
