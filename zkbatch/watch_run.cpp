// The watch: a scan every interval until a stop signal, and each event as
// one line of text or JSON, stamped with the time its scan ended.
#include <chrono>
#include <string>
#include <vector>

#include "checks.h"
#include "common.h"
#include "privilege.h"
#include "rounds.h"
#include "runs.h"
#include "signals.h"
#include "watch.h"
#include "watch_format.h"

int run_watch(const options& opts) {
    // Nothing here needs the capability that a plan's probes do.
    drop_net_raw();
    progress status_line = terminal_progress();
    const network net{opts.links, opts.retries, &status_line};
    warn({unscanned_note(opts)});
    const auto interval = std::chrono::seconds(opts.interval);
    watch_state state;
    bool scanned_once = false;
    auto start = std::chrono::steady_clock::now();
    do {
        std::vector<answer> answers;
        const exchange_status status = scan(net, {}, answers);
        // A scan that a stop signal cut short tells nothing of who is gone.
        if (stop_signal() != 0) break;
        if (!scanned(status)) {
            // One that fails later (a zkdetect holding the reply port for a
            // moment, say) is skipped; the first one fails the watch.
            if (!scanned_once) return usage_status;
        } else {
            scanned_once = true;
            const std::string time = utc_text(std::chrono::system_clock::now());
            std::string out;
            for (const watch_event& e : watch_step(state, answers))
                out += opts.json ? event_json(e, time) : event_text(e, time);
            if (put_out(out, 0) != 0) return usage_status;
        }
        // From start to start; a scan that took longer is followed at once.
        start = std::max(start + interval, std::chrono::steady_clock::now());
    } while (wait_unless_stopped(start));
    return 0;
}
