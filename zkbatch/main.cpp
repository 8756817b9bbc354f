// zkbatch: lists the zefo*kit devices on the local segments, watches them,
// and commissions many at once from a plan that names each by its MAC
// address. This file only reads the command line and picks the mode.
#include "options.h"
#include "runs.h"
#include "signals.h"

int main(int argc, char** argv) {
    const options opts = parse_options(argc, argv);
    // A stop signal lets the run write down what it did before it ends.
    catch_stop_signals();
    if (opts.list) return run_list(opts);
    if (opts.watch) return run_watch(opts);
    if (opts.serve) return run_serve(opts);
    return run_plan(opts);
}
